# The environment the tests run in: no display, a private runtime folder, the system's locale.
# Sourced by scripts/test.

start_test_env() {
  export QT_QPA_PLATFORM=offscreen
  export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
  chmod 0700 "$XDG_RUNTIME_DIR"
}

stop_test_env() {
  :
}
