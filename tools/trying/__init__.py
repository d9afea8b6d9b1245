"""try-setup: a run on a fresh emulated Windows, and its report."""
