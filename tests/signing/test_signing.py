"""Secp256k1Signer, polymarket_order_hash and the order-signing methods, checked against eth-account
(their failures and the signer's immutability are test_binding's)."""

import re
import sys

import pytest
from entry_points import KEY, POLYMARKET_ORDER, SIGNER
from eth_account import Account
from eth_account.messages import _hash_eip191_message, encode_typed_data
from eth_utils import to_checksum_address
from hypothesis import given
from hypothesis import strategies as st
from orvane._core import Secp256k1Signer, polymarket_order_hash

N = 0xFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEBAAEDCE6AF48A03BBFD25E8CD0364141
# The stress table's Polymarket order, `neg_risk` apart.
ORDER = {k: v for k, v in POLYMARKET_ORDER.items() if k != "neg_risk"}
EXCHANGE = "0xE111180000d2663C0091e4f400237545B87B996B"
NEG_RISK_EXCHANGE = "0xe2222d279d744050d28e00520010520000310F59"

# The EIP-712 types, as their type strings: eth-account is given the members they list.
DOMAIN_TYPE = "EIP712Domain(string name,string version,uint256 chainId,address verifyingContract)"
POLYMARKET_TYPE = (
    "Order(uint256 salt,address maker,address signer,uint256 tokenId,uint256 makerAmount,"
    "uint256 takerAmount,uint8 side,uint8 signatureType,uint256 timestamp,bytes32 metadata,"
    "bytes32 builder)"
)
OPINION_TYPE = (
    "Order(uint256 salt,address maker,address signer,address taker,uint256 tokenId,"
    "uint256 makerAmount,uint256 takerAmount,uint256 expiration,uint256 nonce,uint256 feeRateBps,"
    "uint8 side,uint8 signatureType)"
)
WRAPPER_TYPE = (
    "TypedDataSign(Order contents,string name,string version,uint256 chainId,"
    "address verifyingContract,bytes32 salt)"
)


def fields(type_string):
    """(parameter, EIP-712 field, EIP-712 type) of each member: tokenId is token_id, and so on."""
    members = re.findall(r"(\w+) (\w+)", type_string)
    return [(re.sub("([A-Z])", r"_\1", name).lower(), name, kind) for kind, name in members]


def typed(*type_strings):
    return {
        text[: text.index("(")]: [{"name": name, "type": kind} for _, name, kind in fields(text)]
        for text in (DOMAIN_TYPE, *type_strings)
    }


def message(type_string, order):
    """The order (keyed by parameter) keyed by EIP-712 field, for eth-account."""
    return {name: order[parameter] for parameter, name, _ in fields(type_string)}


def eip712(types, primary, domain, message):
    """eth-account's SignableMessage (header = domain separator, body = struct hash) and digest."""
    full = {"types": types, "primaryType": primary, "domain": domain, "message": message}
    signable = encode_typed_data(full_message=full)
    return signable, _hash_eip191_message(signable)


words = st.integers(0, 2**256 - 1)
addresses = st.binary(min_size=20, max_size=20).map(to_checksum_address)
keys = st.integers(1, N - 1).map(lambda k: f"{k:064x}")
VALUES = {"uint256": words, "address": addresses, "uint8": st.integers(0, 255), "bytes32": words}


def orders(type_string, **extra):
    """Orders as values (ints, checksummed addresses), keyed by parameter name."""
    return st.fixed_dictionaries({p: VALUES[kind] for p, _, kind in fields(type_string)} | extra)


def texts(order):
    """The module's arguments: every field as text except the two small integers."""
    return {k: v if k in ("side", "signature_type") else str(v) for k, v in order.items()}


def polymarket_message(order):
    return message(POLYMARKET_TYPE, order) | {
        "metadata": order["metadata"].to_bytes(32, "big"),
        "builder": order["builder"].to_bytes(32, "big"),
    }


@given(keys, st.binary(min_size=32, max_size=32))
def test_address_repr_and_signature_match_eth_account(key, digest):
    signer = Secp256k1Signer(private_key=key)
    assert signer.address == Account.from_key(key).address
    assert repr(signer) == f"Secp256k1Signer(address={signer.address})"
    digest = type("Digest", (bytes,), {})(digest)  # a bytes subclass is bytes
    signature = signer.sign_digest(digest=digest)
    assert type(signature) is bytes and signature == Account._sign_hash(digest, key).signature
    assert signature[64] in (27, 28) and int.from_bytes(signature[32:64], "big") <= N // 2


# (text, the 64-digit key it means or the error it raises): any case, optional prefix, Unicode
# white space around it; short texts are big-endian numbers.
KEY_TEXTS = [
    (KEY[2:], KEY), ("0x" + KEY[2:].upper(), KEY), ("0x" + KEY, KEY),
    ("\u00a0" + KEY + "\u2003", KEY), ("ab" * 31, "00" + "ab" * 31),
    (f"{N - 1:064x}", f"{N - 1:064x}"),
    ("0X" + KEY[2:], "not a hex private key"),
    (KEY[:40] + "\ud800" + KEY[41:], "not a hex private key"),  # not even UTF-8
    ("00" + KEY[2:], "not a valid secp256k1 private key"),  # 33 bytes, a zero first
    (f"{N:064x}", "not a valid secp256k1 private key"),
]  # fmt: skip


@pytest.mark.parametrize(("text", "outcome"), KEY_TEXTS)
def test_key_texts_leave_no_utf8_copy_and_errors_do_not_show_them(text, outcome):
    # A str caches its UTF-8 form once asked for it (sys.getsizeof counts that copy): a key text
    # must not be left holding a second, never-wiped copy of the key.
    text = "".join(text)  # a fresh object with no cached form yet
    size = sys.getsizeof(text)
    if outcome.startswith("not"):
        with pytest.raises(ValueError) as caught:
            Secp256k1Signer(text)
        error = caught.value
        assert error.args == (outcome,) and not hasattr(error, "__notes__")
        assert error.__cause__ is None and error.__context__ is None
    else:
        assert Secp256k1Signer(text).address == Account.from_key(outcome).address
    assert sys.getsizeof(text) == size


CASES = [str, str.lower, lambda address: "0x" + address[2:].upper()]
# The signer's own address is read without its checksum digest; any other is checked.
OWN_OR_NOT = st.one_of(addresses, st.just(SIGNER.address))


@given(
    orders(POLYMARKET_TYPE, maker=OWN_OR_NOT, signer=OWN_OR_NOT),
    st.booleans(),
    st.sampled_from([0, 1, 2, 3, 4]),
    st.sampled_from(CASES),
)
def test_polymarket_hash_and_signature_match_eth_account(order, neg_risk, signature_type, case):
    order = order | {"signature_type": signature_type}
    # Short hex is right-aligned, like a number; the prefix is optional. An address may be all in
    # one case instead of checksummed; a number may be padded with zeros and white space.
    hexes = {"metadata": f"0x{order['metadata']:x}", "builder": f"{order['builder']:x}"}
    spelled = {"maker": case(order["maker"]), "salt": f" 0{order['salt']}\n"}
    arguments = texts(order) | hexes | spelled | {"neg_risk": neg_risk}
    domain = {"name": "Polymarket CTF Exchange", "version": "2", "chainId": 137,
              "verifyingContract": NEG_RISK_EXCHANGE if neg_risk else EXCHANGE}  # fmt: skip
    plain, plain_digest = eip712(typed(POLYMARKET_TYPE), "Order", domain, polymarket_message(order))
    signed = SIGNER.polymarket_sign_order(**arguments)
    signature = bytes.fromhex(signed[2:])
    assert signed == signed.lower()
    assert polymarket_order_hash(**arguments) == "0x" + plain_digest.hex()  # for type 3 too
    if signature_type != 3:
        assert signature == Account._sign_hash(plain_digest, KEY).signature
        return
    # A deposit wallet signs the ERC-7739 wrapper whose contents are the order.
    wrapper = {
        "contents": polymarket_message(order), "name": "DepositWallet", "version": "1",
        "chainId": 137, "verifyingContract": order["signer"], "salt": bytes(32),
    }  # fmt: skip
    _, wallet_digest = eip712(
        typed(POLYMARKET_TYPE, WRAPPER_TYPE), "TypedDataSign", domain, wrapper
    )
    assert len(signature) == 317 and wallet_digest != plain_digest
    assert signature[:65] == Account._sign_hash(wallet_digest, KEY).signature
    assert signature[65:97] == plain.header and signature[97:129] == plain.body
    assert signature[129:315] == POLYMARKET_TYPE.encode() and signature[315:] == b"\x00\xba"


@given(orders(OPINION_TYPE, exchange=addresses), keys)
def test_opinion_sign_order_matches_eth_account(order, key):
    domain = {"name": "OPINION CTF Exchange", "version": "1", "chainId": 56,
              "verifyingContract": order["exchange"]}  # fmt: skip
    _, digest = eip712(typed(OPINION_TYPE), "Order", domain, message(OPINION_TYPE, order))
    # Opinion addresses are read in any case, with or without the prefix.
    arguments = texts(order) | {
        "maker": order["maker"][2:].upper(),
        "taker": order["taker"].lower(),
    }
    signature = bytes.fromhex(Secp256k1Signer(key).opinion_sign_order(**arguments)[2:])
    assert signature == Account._sign_hash(digest, key).signature


def test_positional_arguments_and_numpy_bool():
    import numpy  # a test dependency (scripts/bootstrap installs it): missing is a failure

    hashed = polymarket_order_hash(*ORDER.values(), numpy.bool_(True))
    assert hashed == polymarket_order_hash(**ORDER, neg_risk=True)
