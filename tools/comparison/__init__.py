"""The comparison of a recorded run with the same run on the simulated machine."""
