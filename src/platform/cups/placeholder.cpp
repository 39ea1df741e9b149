// Backends are added beside this file.
