"""The virtual multi-monitor desk (scripts/desk)."""
