"""Websocket stream layer of orvane."""
