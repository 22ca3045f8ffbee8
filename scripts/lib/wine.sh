# Shared shell functions: a private Xvfb display and a private 32-bit Wine
# prefix, with a wineserver started under that display. Source this file.

# Starts Xvfb on the first free display number from 90 and exports DISPLAY.
# A first start on a new machine compiles its keymap and may be slow under
# load; an Xvfb that died (a display taken meanwhile) makes way for the next.
zrv_start_display() {
  local n=90 tries
  for tries in 1 2 3 4 5; do
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    ZRV_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 600); do
      [ -e "/tmp/.X11-unix/X$n" ] && return 0
      kill -0 "$ZRV_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$ZRV_XVFB_PID" 2>/dev/null || true
    n=$((n + 1))
  done
  echo "Xvfb did not start (last tried :$((n - 1)))" >&2
  return 1
}

zrv_stop_display() {
  [ -n "${ZRV_XVFB_PID:-}" ] && kill "$ZRV_XVFB_PID" 2>/dev/null || true
  ZRV_XVFB_PID=""
}

# Makes (or reuses) a 32-bit prefix at $1 and leaves its wineserver running
# under the current DISPLAY.
zrv_prepare_prefix() {
  export WINEPREFIX="$1"
  export WINEARCH=win32
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # A wineserver started without our display cannot create windows later.
  wineserver -k 2>/dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  # Without a window manager, hiding a top-level window stalls about 2 s;
  # unmanaged windows do not. A crash must end the process, not wait.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -p 3600 2>/dev/null || true
}

zrv_stop_prefix() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
}

# Registers the module and the product's stand-in servers in the current
# prefix. $1 is the folder holding the built binaries.
zrv_register_all() {
  local bin="$1" f
  for f in ZRVDocumentStore.dll ZRVAppServices.dll ZRVCategoryList.dll ZRVPropHelper.dll; do
    if [ -f "$bin/$f" ]; then
      wine regsvr32 /s "$(winepath -w "$bin/$f")" || { echo "regsvr32 $f failed" >&2; return 1; }
    fi
  done
  if [ -f "$bin/ZRVAppServices.exe" ]; then
    wine "$bin/ZRVAppServices.exe" /RegServer || { echo "ZRVAppServices /RegServer failed" >&2; return 1; }
  fi
}

# Makes $2 a prefix of its own from the prepared prefix $1, whose wineserver
# must have ended (its registry is then on disk). The Windows folder, which
# nothing run here writes, is hard-linked; the registry, the users' folders
# (and their temporary files) and everything else are copied, so that tests
# running side by side share no state they change.
zrv_clone_prefix() {
  local template="$1" clone="$2" entry
  mkdir -p "$clone/drive_c"
  for entry in "$template"/* "$template"/.update-timestamp; do
    case "${entry##*/}" in
      drive_c | wineserver) ;;
      *) cp -a "$entry" "$clone/" ;;
    esac
  done
  for entry in "$template"/drive_c/*; do
    case "${entry##*/}" in
      windows) cp -al "$entry" "$clone/drive_c/" ;;
      *) cp -a "$entry" "$clone/drive_c/" ;;
    esac
  done
}

# Makes the current prefix the one that scripts/wine-run copies for each
# program it runs, copies kept under $1: its wineserver ends first, so that
# its registry is on disk.
zrv_run_in_copies() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  export ZRV_PREFIX_TEMPLATE="$WINEPREFIX"
  export ZRV_PREFIX_ROOT="$1"
  rm -rf "$ZRV_PREFIX_ROOT"
}
