// EIP-712: the readers that turn order texts into words, struct hashing, the domain separator and
// the typed-data digest.
//
// Readers share one shape (text in, word or message out) so that an order's fields can be read from
// a table in their fixed order; the first failing field decides the message. The orders keep the
// hashes of their fixed types and domains as constants, made once (see `struct_hash` and
// `domain_separator` by hash); nothing else is kept between calls.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "signing/keys.h"

namespace orvane::signing {

// A text-to-word reader: `uint`, `bytes32`, `address` or `address_any_case`. Each refuses a text
// with kInvalidField and a message that quotes it.
using Reader = std::expected<Word, Error> (*)(std::string_view);

// A uint256 from decimal text, white space around it allowed, leading zeros allowed.
// Errors: "not a uint256: {quoted input}" when empty after trimming or anything but ASCII digits
// remain; "does not fit in uint256: {input as given}" for 2^256 or more.
std::expected<Word, Error> uint(std::string_view text);

// 32 bytes from hex text, optional "0x", right-aligned like a number ("abc" and "0x0abc" are one
// value); no trimming. Error: "not a bytes32: {quoted input}" for more than 64 digits or a non-hex
// character.
std::expected<Word, Error> bytes32(std::string_view text);

// Small integers as uint256 / uint8 words.
Word uint_word(std::uint64_t value);
Word uint8_word(std::uint8_t value);

// Keccak-256(Keccak-256(type) || fields...): the struct hash of a record whose fields are already
// encoded, in the order of the type string.
Word struct_hash(std::string_view type, std::span<const Word> fields);
// The same with Keccak-256(type) given, for a type whose hash is a constant.
Word struct_hash(const Word& type_hash, std::span<const Word> fields);

// The EIP712Domain(string name,string version,uint256 chainId,address verifyingContract) hash.
Word domain_separator(std::string_view name, std::string_view version, std::uint64_t chain_id,
                      const Word& verifying_contract);
// The same with Keccak-256 of the name and of the version given.
Word domain_separator(const Word& name_hash, const Word& version_hash, std::uint64_t chain_id,
                      const Word& verifying_contract);

// Keccak-256(0x19 || 0x01 || domain separator || struct hash).
Word typed_digest(const Word& domain_separator, const Word& struct_hash);

}  // namespace orvane::signing
