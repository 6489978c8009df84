"""orvane: trading on prediction-market venues. `orvane._core` is its native core."""
