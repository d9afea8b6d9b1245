"""The benchmark of setup.exe on Wine."""
