"""scripts/package: an installed kiosk tree made into a per-machine MSI (see scripts/package --help)."""
