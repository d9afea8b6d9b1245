"""The Wine harness: a Windows 98 or Me machine under Wine, its registry and its call traces."""
