"""The test command, ./run-tests."""
