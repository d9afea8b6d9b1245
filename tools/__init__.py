"""The tools that try and prove setup.exe, a room a purpose: the Wine harness
(harness), the comparison with the simulated machine (comparison), the host
and its routes (host), trying (trying), the benchmark (benchmark) and the test
command (test_command). A room imports only the rooms below it."""

from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]  # the repository
