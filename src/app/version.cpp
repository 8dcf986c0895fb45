// Keeps the view library non-empty; the version string lives in the core.
