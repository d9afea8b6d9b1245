"""The host: its packages, the route the Wine parts take on it, and the emulated PC."""
