"""Records shared by the websocket stream handlers."""

from dataclasses import dataclass
from decimal import Decimal


@dataclass(frozen=True, slots=True)
class BookLevel:
    """One price level of an order book."""

    price: Decimal
    size: Decimal
