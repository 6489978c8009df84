"""Type stubs of the native core."""

from collections.abc import Callable, Iterable, Iterator, Mapping, Sequence
from decimal import Decimal
from typing import Any, ClassVar, Literal, TypeAlias, TypeVar, final, overload

from typing_extensions import disjoint_base

from orvane.ws.base import BookLevel

__version__: str

_T = TypeVar("_T")

# Anything a price, size, quantity or fee argument converts from: an int (or bool), or an object
# whose `str` is a decimal number (Decimal, float, str).
_Number: TypeAlias = Decimal | int | float | str
_Pairs: TypeAlias = Iterable[tuple[_Number, _Number]]
_Levels: TypeAlias = tuple[BookLevel, ...]
_Rows: TypeAlias = tuple[tuple[Decimal, Decimal], ...]
# A member of a venue frame handed over unchanged, with its JSON types.
_Json: TypeAlias = bool | int | float | str | list[_Json] | dict[str, _Json] | None

# A side is the dict the pure-Python book keeps, read and written in place: a Mapping with item
# assignment, deletion and `pop`. Not a MutableMapping, which would promise `update`, `setdefault`,
# `popitem` and `clear` that it does not have; `keys`, `values` and `items` return new lists.
@final
class BookSide(Mapping[Decimal, Decimal]):
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __len__(self) -> int: ...
    def __getitem__(self, price: object, /) -> Decimal: ...
    def __setitem__(self, price: _Number, size: _Number, /) -> None: ...
    def __delitem__(self, price: object, /) -> None: ...
    def __contains__(self, price: object, /) -> bool: ...
    def __iter__(self) -> Iterator[Decimal]: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def keys(self) -> list[Decimal]: ...  # type: ignore[override]
    def values(self) -> list[Decimal]: ...  # type: ignore[override]
    def items(self) -> list[tuple[Decimal, Decimal]]: ...  # type: ignore[override]
    @overload
    def get(self, price: object, default: None = None) -> Decimal | None: ...
    @overload
    def get(self, price: object, default: _T) -> Decimal | _T: ...
    @overload
    def pop(self, price: object) -> Decimal: ...
    @overload
    def pop(self, price: object, default: _T) -> Decimal | _T: ...
    def copy(self) -> dict[Decimal, Decimal]: ...

@disjoint_base
class LocalBook:
    def __init__(self) -> None: ...
    @property
    def bids(self) -> BookSide: ...
    @bids.setter
    def bids(self, value: Mapping[Any, Any] | _Pairs) -> None: ...
    @property
    def asks(self) -> BookSide: ...
    @asks.setter
    def asks(self, value: Mapping[Any, Any] | _Pairs) -> None: ...
    # Whatever the owner stores; the decoders store the venue's own values.
    sequence: Any
    timestamp: Any
    ready: bool
    @property
    def best_bid(self) -> Decimal | None: ...
    @property
    def best_ask(self) -> Decimal | None: ...
    def add(self, side: str, price: _Number, delta: _Number) -> Decimal: ...
    def set(self, side: str, price: _Number, size: _Number) -> Decimal: ...
    def replace(self, bids: _Pairs, asks: _Pairs) -> None: ...
    def levels(self, depth: int | None = None) -> tuple[_Levels, _Levels]: ...
    def mirrored(self, face_value: _Number = ...) -> LocalBook: ...
    def invalidate(self) -> None: ...

# ("snapshot", ticker, recovering, bids, asks, best_bid, best_ask, info)
_KalshiSnapshot: TypeAlias = tuple[
    Literal["snapshot"], str, bool, _Levels, _Levels, Decimal | None, Decimal | None, dict[str, Any]
]
# ("delta", ticker, bids, asks, best_bid, best_ask, timestamp, info)
_KalshiDelta: TypeAlias = tuple[
    Literal["delta"], str, _Levels, _Levels, Decimal | None, Decimal | None, _Json, dict[str, Any]
]

@final
class KalshiBookMessage:
    @property
    def seq(self) -> _Json: ...
    @property
    def sid(self) -> _Json: ...
    @property
    def kind(self) -> Literal["orderbook_snapshot", "orderbook_delta"]: ...
    @property
    def seq_number(self) -> int | None: ...
    def apply(self, books: dict[str, LocalBook]) -> _KalshiSnapshot | _KalshiDelta | None: ...

def kalshi_book_message(raw: str, books: dict[str, LocalBook]) -> KalshiBookMessage | None: ...

# ("book", asset_id, market, "snapshot", bids, asks, best_bid, best_ask, timestamp, extra)
_PolymarketSnapshot: TypeAlias = tuple[
    Literal["book"],
    str,
    str,
    Literal["snapshot"],
    _Levels,
    _Levels,
    Decimal | None,
    Decimal | None,
    int | None,
    dict[str, _Json],
]
# ("book", asset_id, market, "delta", bids, asks, best_bid, best_ask, timestamp, None)
_PolymarketDelta: TypeAlias = tuple[
    Literal["book"],
    str,
    str,
    Literal["delta"],
    _Levels,
    _Levels,
    Decimal | None,
    Decimal | None,
    int | None,
    None,
]
# ("gap", asset_id, best_bid, best_ask, venue_best_bid, venue_best_ask): the venue's two prices
# are the objects of the pending check, as they were stored.
_PolymarketGap: TypeAlias = tuple[
    Literal["gap"], str, Decimal | None, Decimal | None, object, object
]
_PolymarketEvent: TypeAlias = (
    _PolymarketSnapshot | _PolymarketDelta | tuple[Literal["resynced"], str] | _PolymarketGap
)

def polymarket_market(
    raw: str,
    books: dict[str, LocalBook],
    unverified: dict[str, tuple[int | None, object, object]],
    markets: dict[str, str],
) -> list[_PolymarketEvent] | None: ...

@final
class OpinionDepthChange:
    @property
    def token(self) -> str: ...
    def apply(self, book: LocalBook) -> tuple[_Levels, _Levels, Decimal | None, Decimal | None]: ...

def opinion_depth(raw: str) -> OpinionDepthChange | None: ...

# (slug, bids, asks, best_bid, best_ask, transact_time, state, stats)
def polymarket_us_market_data(
    raw: str, books: dict[str, LocalBook]
) -> tuple[str, _Levels, _Levels, Decimal | None, Decimal | None, _Json, _Json, _Json] | None: ...

@final
class Secp256k1Signer:
    def __new__(cls, private_key: str) -> Secp256k1Signer: ...
    @property
    def address(self) -> str: ...
    def sign_digest(self, digest: bytes) -> bytes: ...
    def polymarket_sign_order(
        self,
        salt: str,
        maker: str,
        signer: str,
        token_id: str,
        maker_amount: str,
        taker_amount: str,
        side: int,
        signature_type: int,
        timestamp: str,
        metadata: str,
        builder: str,
        neg_risk: bool,
    ) -> str: ...
    def opinion_sign_order(
        self,
        salt: str,
        maker: str,
        signer: str,
        taker: str,
        token_id: str,
        maker_amount: str,
        taker_amount: str,
        expiration: str,
        nonce: str,
        fee_rate_bps: str,
        side: int,
        signature_type: int,
        exchange: str,
    ) -> str: ...

def polymarket_order_hash(
    salt: str,
    maker: str,
    signer: str,
    token_id: str,
    maker_amount: str,
    taker_amount: str,
    side: int,
    signature_type: int,
    timestamp: str,
    metadata: str,
    builder: str,
    neg_risk: bool,
) -> str: ...

# (market_id, quantity, cost, fee, worst) of one member filled by a walk
_Slot: TypeAlias = tuple[str, Decimal, Decimal, Decimal, Decimal]

@final
class RouterLevels:
    def __len__(self) -> int: ...
    def walk(
        self, buy: bool, quantity: _Number, limit: _Number, excluded: Sequence[str]
    ) -> tuple[list[_Slot], Decimal, Literal["", "worst_price", "liquidity"]] | None: ...

def router_view(book: object, flip: bool) -> tuple[_Rows, _Rows] | None: ...

# A type variable, not Iterable[...] itself: `list` is invariant, and callers pass lists of the
# row tuples that router_view returns. The fee is called with each row's own price object.
_Rows_T = TypeVar("_Rows_T", bound=Iterable[tuple[_Number, _Number]])

def router_levels(
    members: list[tuple[str, _Rows_T]],
    fee: Callable[[str, Any, Decimal], Decimal | int],
    buy: bool,
) -> RouterLevels | None: ...
