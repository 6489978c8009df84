"""Digest and order signing against eth-account (which signs through coincurve/libsecp256k1 too)."""

import pathlib
import sys

from eth_account import Account
from eth_account._utils.encode_typed_data.encoding_and_hashing import hash_struct
from eth_account.messages import _hash_eip191_message, encode_typed_data
from eth_utils import to_checksum_address

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import common
from orvane._core import Secp256k1Signer, polymarket_order_hash

KEY = "0x4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"
ACCOUNT = Account.from_key(KEY)
KEY_OBJECT = ACCOUNT._key_obj  # parsed once, as a long-lived Python signer would keep it
SIGNER = Secp256k1Signer(KEY)
DIGEST = bytes(range(32))

DOMAIN_TYPE = [
    {"name": "name", "type": "string"},
    {"name": "version", "type": "string"},
    {"name": "chainId", "type": "uint256"},
    {"name": "verifyingContract", "type": "address"},
]


def fields(spec):
    return [
        {"name": name, "type": kind} for name, kind in (item.split(":") for item in spec.split())
    ]


POLYMARKET_ORDER = fields(
    "salt:uint256 maker:address signer:address tokenId:uint256 makerAmount:uint256 "
    "takerAmount:uint256 side:uint8 signatureType:uint8 timestamp:uint256 metadata:bytes32 "
    "builder:bytes32"
)
OPINION_ORDER = fields(
    "salt:uint256 maker:address signer:address taker:address tokenId:uint256 makerAmount:uint256 "
    "takerAmount:uint256 expiration:uint256 nonce:uint256 feeRateBps:uint256 side:uint8 "
    "signatureType:uint8"
)
TYPED_DATA_SIGN = fields(
    "contents:Order name:string version:string chainId:uint256 verifyingContract:address "
    "salt:bytes32"
)
ORDER_TYPE = (
    b"Order(uint256 salt,address maker,address signer,uint256 tokenId,uint256 makerAmount,"
    b"uint256 takerAmount,uint8 side,uint8 signatureType,uint256 timestamp,bytes32 metadata,"
    b"bytes32 builder)"
)
POLYMARKET_DOMAIN = {
    "name": "Polymarket CTF Exchange",
    "version": "2",
    "chainId": 137,
    "verifyingContract": "0xE111180000d2663C0091e4f400237545B87B996B",
}
OPINION_EXCHANGE = to_checksum_address("0x5f45344126d6488025b0b84a3a8189f2487a7246")
OPINION_DOMAIN = {
    "name": "OPINION CTF Exchange",
    "version": "1",
    "chainId": 56,
    "verifyingContract": OPINION_EXCHANGE,
}

# The same order as the module takes it (texts) and as a Python signer would build it (values).
ORDER = {
    "salt": "479249096354",
    "maker": ACCOUNT.address,
    "signer": ACCOUNT.address,
    "token_id": "71321045679252212594626385532706912750332728571942532289631379312455583992563",
    "maker_amount": "50000000",
    "taker_amount": "100000000",
    "side": 0,
    "signature_type": 0,
    "timestamp": "1735689600",
    "metadata": "0x" + "00" * 32,
    "builder": "0x" + "00" * 32,
}
OPINION = {
    "salt": "479249096354",
    "maker": ACCOUNT.address,
    "signer": ACCOUNT.address,
    "taker": "0x" + "00" * 20,
    "token_id": ORDER["token_id"],
    "maker_amount": "50000000",
    "taker_amount": "100000000",
    "expiration": "0",
    "nonce": "0",
    "fee_rate_bps": "0",
    "side": 0,
    "signature_type": 0,
    "exchange": OPINION_EXCHANGE,
}


def compare(case, ours, python, number=2000):
    return common.compare(case, ours, python, number, repeat=9)


def polymarket_message(order):
    return {
        "salt": int(order["salt"]),
        "maker": order["maker"],
        "signer": order["signer"],
        "tokenId": int(order["token_id"]),
        "makerAmount": int(order["maker_amount"]),
        "takerAmount": int(order["taker_amount"]),
        "side": order["side"],
        "signatureType": order["signature_type"],
        "timestamp": int(order["timestamp"]),
        "metadata": bytes.fromhex(order["metadata"][2:]),
        "builder": bytes.fromhex(order["builder"][2:]),
    }


def python_polymarket_signable(order):
    return encode_typed_data(
        full_message={
            "types": {"EIP712Domain": DOMAIN_TYPE, "Order": POLYMARKET_ORDER},
            "primaryType": "Order",
            "domain": POLYMARKET_DOMAIN,
            "message": polymarket_message(order),
        }
    )


def python_polymarket_hash(order):
    return "0x" + _hash_eip191_message(python_polymarket_signable(order)).hex()


def python_polymarket_sign(order):
    if order["signature_type"] != 3:
        signable = python_polymarket_signable(order)
        return "0x" + Account.sign_message(signable, KEY_OBJECT).signature.hex()
    message = polymarket_message(order)
    wrapper = {
        "contents": message,
        "name": "DepositWallet",
        "version": "1",
        "chainId": 137,
        "verifyingContract": order["signer"],
        "salt": bytes(32),
    }
    types = {
        "EIP712Domain": DOMAIN_TYPE,
        "TypedDataSign": TYPED_DATA_SIGN,
        "Order": POLYMARKET_ORDER,
    }
    signable = encode_typed_data(
        full_message={
            "types": types,
            "primaryType": "TypedDataSign",
            "domain": POLYMARKET_DOMAIN,
            "message": wrapper,
        }
    )
    # The wrapped order's parts: the wrapper's domain is the exchange's, and the order's struct hash.
    contents = hash_struct("Order", {"Order": POLYMARKET_ORDER}, message)
    signature = Account.sign_message(signable, KEY_OBJECT).signature
    tail = signable.header + contents + ORDER_TYPE + len(ORDER_TYPE).to_bytes(2, "big")
    return "0x" + (signature + tail).hex()


def python_opinion_sign(order):
    message = {
        "salt": int(order["salt"]),
        "maker": order["maker"],
        "signer": order["signer"],
        "taker": order["taker"],
        "tokenId": int(order["token_id"]),
        "makerAmount": int(order["maker_amount"]),
        "takerAmount": int(order["taker_amount"]),
        "expiration": int(order["expiration"]),
        "nonce": int(order["nonce"]),
        "feeRateBps": int(order["fee_rate_bps"]),
        "side": order["side"],
        "signatureType": order["signature_type"],
    }
    signable = encode_typed_data(
        full_message={
            "types": {"EIP712Domain": DOMAIN_TYPE, "Order": OPINION_ORDER},
            "primaryType": "Order",
            "domain": OPINION_DOMAIN | {"verifyingContract": order["exchange"]},
            "message": message,
        }
    )
    return "0x" + Account.sign_message(signable, KEY_OBJECT).signature.hex()


def main():
    wallet = ORDER | {"signature_type": 3}
    # Both sides must do the same job.
    assert SIGNER.sign_digest(DIGEST) == Account._sign_hash(DIGEST, KEY_OBJECT).signature
    assert polymarket_order_hash(**ORDER, neg_risk=False) == python_polymarket_hash(ORDER)
    assert SIGNER.polymarket_sign_order(**ORDER, neg_risk=False) == python_polymarket_sign(ORDER)
    assert SIGNER.polymarket_sign_order(**wallet, neg_risk=False) == python_polymarket_sign(wallet)
    assert SIGNER.opinion_sign_order(**OPINION) == python_opinion_sign(OPINION)

    compare(
        "sign_digest",
        lambda: SIGNER.sign_digest(DIGEST),
        lambda: Account._sign_hash(DIGEST, KEY_OBJECT).signature,
    )
    compare(
        "polymarket_order_hash",
        lambda: polymarket_order_hash(**ORDER, neg_risk=False),
        lambda: python_polymarket_hash(ORDER),
        number=500,
    )
    compare(
        "polymarket_sign_order (type 0)",
        lambda: SIGNER.polymarket_sign_order(**ORDER, neg_risk=False),
        lambda: python_polymarket_sign(ORDER),
        number=300,
    )
    compare(
        "polymarket_sign_order (type 3)",
        lambda: SIGNER.polymarket_sign_order(**wallet, neg_risk=False),
        lambda: python_polymarket_sign(wallet),
        number=200,
    )
    compare(
        "opinion_sign_order",
        lambda: SIGNER.opinion_sign_order(**OPINION),
        lambda: python_opinion_sign(OPINION),
        number=300,
    )


if __name__ == "__main__":
    main()
