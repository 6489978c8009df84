# One target per outside library the core uses. How each is found and linked (shared or static) is
# decided here alone; the areas link only these names.
find_package(absl REQUIRED)
find_package(simdjson REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SECP256K1 REQUIRED IMPORTED_TARGET libsecp256k1)
pkg_check_modules(CRYPTOPP REQUIRED IMPORTED_TARGET libcrypto++)
pkg_check_modules(ICUUC REQUIRED IMPORTED_TARGET icu-uc)

# Name, then what it stands for.
function(orvane_dependency name)
  add_library(orvane_dep_${name} INTERFACE)
  target_link_libraries(orvane_dep_${name} INTERFACE ${ARGN})
  add_library(dep::${name} ALIAS orvane_dep_${name})
endfunction()

orvane_dependency(containers absl::btree absl::flat_hash_map absl::hash)  # B-trees, hash maps
orvane_dependency(simdjson simdjson::simdjson)                           # JSON parsing
orvane_dependency(unicode PkgConfig::ICUUC)                              # character properties
orvane_dependency(secp256k1 PkgConfig::SECP256K1)                        # ECDSA with recovery
orvane_dependency(keccak PkgConfig::CRYPTOPP)                            # Keccak-256
