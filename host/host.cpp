// Host library.
