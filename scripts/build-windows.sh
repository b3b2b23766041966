#!/usr/bin/env bash
# Builds the viewer for 64-bit Windows and tests it under Wine (run as root, or with sudo).
#
# 1. Once: Qt for Windows from Debian's own qt6-base and qt6-serialport sources, cross-compiled
#    with mingw-w64 against the host's Qt tools, cached in $SKELD_QT_CACHE
#    (default ~/.cache/skeld-qt-mingw); later runs reuse it.
# 2. The viewer, its tests and the simulated driver Gpib-32.dll, cross-compiled in build-windows/.
# 3. dist-windows/: the executable with the Qt and compiler runtime DLLs and plugins, ready to zip.
# 4. Under wine64 with the offscreen platform: the tests, then the viewer on the simulated
#    Gpib-32.dll until it lists the log, with a screenshot in build-windows/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$PWD"

cache="${SKELD_QT_CACHE:-$HOME/.cache/skeld-qt-mingw}"
qt_prefix="$cache/qt6-mingw"
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
build="$repo/build-windows"
dist="$repo/dist-windows"
jobs="${SKELD_JOBS:-2}"
# The Qt build is long: it yields to everything else on the machine.
slow=(nice -n "${SKELD_NICE:-15}")

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

step() { printf '\n== %s\n' "$*"; }

install_packages() {
  local packages=(
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgtest-dev libgmock-dev
    nlohmann-json3-dev g++-mingw-w64-x86-64-posix dpkg-dev wine wine64 xvfb xauth imagemagick
    clang-format fonts-liberation nsis librsvg2-bin
    qt6-serialport-dev libtirpc-dev rpcsvc-proto rpcbind iproute2
  )
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends "${missing[@]}"
  fi
}

# apt-get source needs deb-src entries; they are derived from the machine's own bookworm
# entries, so the same mirror serves both.
ensure_deb_src() {
  if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  local entries
  entries="$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
    /(^|\n)Types:[^\n]*deb/ && /(^|\n)Suites:[^\n]*bookworm/ {
      n = split($0, lines, "\n")
      out = ""
      for (i = 1; i <= n; i++) {
        if (lines[i] ~ /^#/) continue
        if (lines[i] ~ /^Types:/) lines[i] = "Types: deb-src"
        out = out lines[i] "\n"
      }
      print out
    }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)"
  if [ -z "$entries" ]; then
    entries="$(sed -n 's/^deb \(.*bookworm.*\)$/deb-src \1/p' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true)"
    [ -n "$entries" ] || { echo "no bookworm apt entry to derive a deb-src entry from" >&2; exit 1; }
    printf '%s\n' "$entries" | "${as_root[@]}" tee /etc/apt/sources.list.d/skeld-deb-src.list >/dev/null
  else
    printf '%s\n' "$entries" | "${as_root[@]}" tee /etc/apt/sources.list.d/skeld-deb-src.sources >/dev/null
  fi
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
}

# Debian's source lacks the wintab third-party folder, hence no tablet events; accessibility
# (UI Automation) is Qt's own code and needs none of the folders Debian left out. The windows
# platform plugin needs OpenGL kept on.
qtbase_flags=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_tabletevent=OFF -DFEATURE_accessibility=ON
  -DFEATURE_sql=OFF -DFEATURE_dbus=OFF
)
# The host's Qt tools (moc, rcc, uic) serve the cross build.
cross=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)

# What a cached module was built from: a change in any of it builds it again.
module_stamp() { # package version flags...
  printf '%s\n' "$@" "$(x86_64-w64-mingw32-g++-posix -dumpfullversion)"
}

# Unpacks Debian's source package of the given version into $cache/src; prints its folder.
fetch_source() { # package version
  local dir="$cache/src"
  mkdir -p "$dir"
  if [ ! -f "$dir/.complete-$1-$2" ]; then
    (cd "$dir" && apt-get source -q "$1=$2") >"$cache/$1-source.log" 2>&1 || return 1
    touch "$dir/.complete-$1-$2"
  fi
  find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | sort | tail -1
}

# Configures, builds (niced) and installs one Qt module into $qt_prefix, with logs in $cache.
build_module() { # name source-folder cmake-flags...
  local name="$1" src="$2" log="$cache/$1"
  shift 2
  "${slow[@]}" cmake -S "$src" -B "$cache/build-$name" "${cross[@]}" -DCMAKE_INSTALL_PREFIX="$qt_prefix" "$@" \
    >"$log-configure.log" 2>&1 || { tail -40 "$log-configure.log"; return 1; }
  "${slow[@]}" cmake --build "$cache/build-$name" -j"$jobs" >"$log-build.log" 2>&1 ||
    { tail -40 "$log-build.log"; return 1; }
  cmake --install "$cache/build-$name" >"$log-install.log" 2>&1 || { tail -40 "$log-install.log"; return 1; }
}

build_qt() {
  local base_version serial_version stamp src
  # The same version as the host's Qt tools, which the cross build runs.
  base_version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
  stamp="$(module_stamp qt6-base "$base_version" "${qtbase_flags[@]}")"
  if [ -f "$qt_prefix/skeld-qtbase.txt" ] && [ "$(cat "$qt_prefix/skeld-qtbase.txt")" = "$stamp" ]; then
    echo "qtbase: cached in $qt_prefix"
  else
    echo "qtbase $base_version: building into $qt_prefix (logs: $cache/qtbase-*.log)"
    rm -rf "$qt_prefix"
    src="$(fetch_source qt6-base "$base_version")" || { cat "$cache/qt6-base-source.log"; exit 1; }
    build_module qtbase "$src" "${qtbase_flags[@]}" || exit 1
    printf '%s\n' "$stamp" >"$qt_prefix/skeld-qtbase.txt"
  fi

  # Qt SerialPort, for the serial adapters: the release that goes with the host's qtbase.
  local release="${base_version%%+*}"
  release="${release%%-*}"
  stamp="$(module_stamp qt6-serialport "$release")"
  if [ -f "$qt_prefix/skeld-qtserialport.txt" ] && [ "$(cat "$qt_prefix/skeld-qtserialport.txt")" = "$stamp" ]; then
    echo "qtserialport: cached in $qt_prefix"
    return
  fi
  src="$(serialport_source "$release")" || exit 1
  if [ -z "$src" ]; then
    echo "WARNING: no Qt SerialPort $release source, so the viewer is built without serial adapters" >&2
    return
  fi
  echo "qtserialport $release from $src: building into $qt_prefix"
  build_module qtserialport "$src" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$qt_prefix" || exit 1
  printf '%s\n' "$stamp" >"$qt_prefix/skeld-qtserialport.txt"
}

# The upstream Qt SerialPort releases the script accepts as a tarball, by their sha256.
declare -A serialport_sha256=(
  [6.4.2]=682626d3ae07074df0f707dab880f1eab1c133a04d5bed688a3ec63af305ae89
)

# Prints the folder of the Qt SerialPort source for the release: Debian's when the mirror has
# it, else the upstream tarball $SKELD_QTSERIALPORT_SRC (by default ../shared/thirdparty/ next
# to the checkout). Prints nothing when there is neither; fails on a tarball that is not the
# release it claims to be, or a named one that is missing.
serialport_source() { # release
  local release="$1" version tarball sum dir
  version="$(apt-cache showsrc qt6-serialport 2>/dev/null | sed -n 's/^Version: //p' | grep -F "$release" | head -1)"
  if [ -n "$version" ] && fetch_source qt6-serialport "$version"; then
    return
  fi
  echo "qt6-serialport ${version:-$release}: Debian's source could not be fetched:" >&2
  tail -3 "$cache/qt6-serialport-source.log" >&2 2>/dev/null || true
  tarball="${SKELD_QTSERIALPORT_SRC:-$repo/../shared/thirdparty/qtserialport-everywhere-src-$release.tar.xz}"
  if [ ! -f "$tarball" ]; then
    if [ -n "${SKELD_QTSERIALPORT_SRC:-}" ]; then
      echo "SKELD_QTSERIALPORT_SRC: no such file: $tarball" >&2
      return 1
    fi
    echo "and there is no $tarball (set SKELD_QTSERIALPORT_SRC to the upstream tarball)" >&2
    return 0
  fi
  if [ -z "${serialport_sha256[$release]:-}" ]; then
    echo "$tarball: no known sha256 for Qt SerialPort $release, refused" >&2
    return 1
  fi
  sum="$(sha256sum "$tarball" | cut -d' ' -f1)"
  if [ "$sum" != "${serialport_sha256[$release]}" ]; then
    echo "$tarball: sha256 $sum is not Qt SerialPort $release's ${serialport_sha256[$release]}, refused" >&2
    return 1
  fi
  dir="$cache/src/qtserialport-everywhere-src-$release"
  if [ ! -f "$dir/.complete-$sum" ]; then
    rm -rf "$dir"
    mkdir -p "$cache/src"
    tar -xJf "$tarball" -C "$cache/src"
    [ -f "$dir/CMakeLists.txt" ] || { echo "$tarball: no $(basename "$dir")/CMakeLists.txt inside" >&2; return 1; }
    touch "$dir/.complete-$sum"
  fi
  echo "$dir"
}

# nlohmann-json is header-only, but its host package would put /usr/include on the target's
# include path (glibc's headers before mingw's); this one offers the json headers alone.
write_json_package() {
  local dir="$build/deps/nlohmann_json" version
  version="$(dpkg-query -W -f='${Version}' nlohmann-json3-dev)"
  mkdir -p "$dir/include"
  ln -sfn /usr/include/nlohmann "$dir/include/nlohmann"
  cat >"$dir/nlohmann_jsonConfig.cmake" <<'EOF'
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
                        INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}/include")
endif()
EOF
  cat >"$dir/nlohmann_jsonConfigVersion.cmake" <<EOF
set(PACKAGE_VERSION "${version%%-*}")
set(PACKAGE_VERSION_COMPATIBLE TRUE)
if(PACKAGE_FIND_VERSION_MAJOR AND NOT PACKAGE_FIND_VERSION_MAJOR EQUAL 3)
  set(PACKAGE_VERSION_COMPATIBLE FALSE)
endif()
EOF
}

build_viewer() {
  write_json_package
  cmake -S "$repo" -B "$build" "${cross[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$qt_prefix" \
    -Dnlohmann_json_DIR="$build/deps/nlohmann_json" -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
    >"$build/configure.log" 2>&1 || { tail -40 "$build/configure.log"; exit 1; }
  cmake --build "$build" -j"$jobs"
}

# The folders of the compiler's own runtime DLLs.
runtime_dirs() {
  local dll
  for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")"
  done | sort -u
}

# Copies the DLLs that the given Windows binaries import, and theirs in turn, from Qt and the
# compiler into the folder; system DLLs are left to Windows.
copy_imports() { # folder binaries...
  local folder="$1" binary dll found dir
  shift
  local pending=("$@") search=("$qt_prefix/bin")
  mapfile -t -O 1 search < <(runtime_dirs)
  while ((${#pending[@]})); do
    binary="${pending[0]}"
    pending=("${pending[@]:1}")
    while read -r dll; do
      [ -f "$folder/$dll" ] && continue
      found=""
      for dir in "${search[@]}"; do
        if [ -f "$dir/$dll" ]; then
          found="$dir/$dll"
          break
        fi
      done
      [ -n "$found" ] || continue
      cp "$found" "$folder/"
      pending+=("$folder/$dll")
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p')
  done
}

assemble_dist() {
  rm -rf "$dist"
  mkdir -p "$dist/platforms" "$dist/styles" "$dist/tls" "$dist/sim"
  cp "$build/skeld-errlog.exe" "$dist/"
  cp "$qt_prefix/plugins/platforms/qwindows.dll" "$qt_prefix/plugins/platforms/qoffscreen.dll" "$dist/platforms/"
  cp "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" "$dist/styles/"
  cp "$qt_prefix/plugins/tls/qschannelbackend.dll" "$dist/tls/"
  # The simulated driver stays out of the program's folder, where Windows would load it
  # before a real Gpib-32.dll.
  cp "$build/sim/Gpib-32.dll" "$dist/sim/"
  copy_imports "$dist" "$dist/skeld-errlog.exe" "$dist"/platforms/*.dll "$dist"/styles/*.dll "$dist"/tls/*.dll \
    "$dist/sim/Gpib-32.dll"
  # Release builds still carry their symbols, more than half of the folder.
  find "$dist" -type f \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
}

# A Windows path for a path of this machine: Wine's drive Z: is the root folder.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Wine in a prefix of its own, quiet, without the .NET and HTML runtimes it would offer to fetch.
setup_wine() {
  export WINEPREFIX="$cache/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  local path dir
  path="$(windows_path "$qt_prefix/bin")"
  while read -r dir; do path+=";$(windows_path "$dir")"; done < <(runtime_dirs)
  path+=";$(windows_path "$build/sim")"
  export WINEPATH="$path"
  wine wineboot --init >/dev/null 2>&1
  # The prefix is kept between runs: an interface an earlier run remembered must not steer this one.
  wine reg delete 'HKCU\Software\skeld-errlog' /f >/dev/null 2>&1 || true
}

# Offscreen, Qt on Windows reads its fonts from QT_QPA_FONTDIR: there, the Liberation fonts
# that the Linux tests find through fontconfig. Wine hands QT_* on only when given as WINEQT_*.
run_tests() {
  (cd "$build" && WINEQT_QPA_PLATFORM=offscreen \
    WINEQT_QPA_FONTDIR="$(windows_path /usr/share/fonts/truetype/liberation)" ctest --output-on-failure -j"$jobs")
}

# A viewer started by the given Windows command line on the simulated Gpib-32.dll, in a Wine
# desktop (which draws the window frames) on a virtual X display, until its trace shows the
# log read to the end item; then a screenshot of that display.
watch_viewer() { # name windows-command...
  local name="$1" trace="${VIEWER_TRACE:-$build/$1-trace.txt}" shot="$build/$1-screenshot.png"
  shift
  [ -n "${VIEWER_TRACE:-}" ] || rm -f "$trace"
  rm -f "$shot"
  # shellcheck disable=SC2016 # expanded by the inner shell
  GPIBSIM_TRACE="$(windows_path "$trace")" GPIBSIM_BUS="$(windows_path "$repo/tests/data/bus-20-entries.json")" \
    TRACE="$trace" SHOT="$shot" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
      wine explorer /desktop=skeld,1024x768 "$@" &
      for _ in $(seq 120); do
        grep -qF "\"\\\"\\\"\\n\"" "$TRACE" 2>/dev/null && break
        sleep 1
      done
      sleep 3
      import -window root "$SHOT"
      wineserver -k' viewer "$@"
  echo "--- the viewer's trace ($trace):"
  cat "$trace"
  grep -qF '"\"\"\n"' "$trace" || { echo "the viewer did not read the log to its end" >&2; return 1; }
  echo "--- screenshot: $shot"
}

# The viewer from dist-windows/, the simulated driver on its search path.
run_viewer() {
  WINEPATH="$(windows_path "$dist/sim")" watch_viewer viewer "$(windows_path "$dist/skeld-errlog.exe")"
}

# The Linux viewer, its simulated library and the simulated adapter, built for this machine.
build_host() {
  local host="$build/host"
  [ -x "$host/sim/gpibsim-adapter" ] && [ -x "$host/skeld-errlog" ] && return 0
  cmake -S "$repo" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKELD_BUILD_TESTS=OFF \
    >"$build/host-configure.log" 2>&1 || { tail -20 "$build/host-configure.log"; return 1; }
  cmake --build "$host" -j"$jobs" --target gpibsim-adapter gpibsim_shim skeld-errlog >"$build/host-build.log" 2>&1 ||
    { tail -20 "$build/host-build.log"; return 1; }
}

# The command line under Wine, from no console: --read writes the same bytes as the Linux viewer
# for the same bus (line ends included), --version its line, and a failure its status.
run_read_command() {
  local bus="$repo/tests/data/bus-20-entries.json" status=0 code=0
  build_host || return 1
  env -u DISPLAY LD_LIBRARY_PATH="$build/host/sim" GPIBSIM_BUS="$bus" \
    "$build/host/skeld-errlog" --read --no-remember --interface ni --format csv >"$build/read-linux.csv"
  WINEPATH="$(windows_path "$dist/sim")" GPIBSIM_BUS="$(windows_path "$bus")" \
    wine "$dist/skeld-errlog.exe" --read --no-remember --interface ni --format csv >"$build/read-windows.csv" || code=$?
  echo "--read --format csv: status $code, $(wc -l <"$build/read-windows.csv") lines"
  if [ "$code" -ne 0 ] || ! cmp "$build/read-linux.csv" "$build/read-windows.csv"; then
    echo "the Windows --read output differs from the Linux one's" >&2
    status=1
  fi
  # --version into a file (no console, no message box), as the Linux viewer writes it.
  WINEPATH= wine "$dist/skeld-errlog.exe" --version | tr -d '\r' >"$build/version-windows.txt"
  echo "--version: $(cat "$build/version-windows.txt")"
  "$build/host/skeld-errlog" --version | cmp - "$build/version-windows.txt" || { echo "--version differs" >&2; status=1; }
  code=0
  # dist-windows/ holds every DLL the viewer needs; the search path only ever adds the driver.
  WINEPATH= wine "$dist/skeld-errlog.exe" --read --no-remember --interface ni >/dev/null 2>"$build/read-nodriver.txt" ||
    code=$?
  echo "--read without a driver: status $code, standard error: $(head -1 "$build/read-nodriver.txt" | tr -d '\r')"
  [ "$code" -eq 1 ] && [ -s "$build/read-nodriver.txt" ] || { echo "expected status 1 and a reason" >&2; status=1; }
  return $status
}

# The serial adapter driver under Wine: the simulated adapter of the given dialect (built for
# this machine) on a pseudo-terminal, which Wine's COM4 names through the prefix's dosdevices
# folder; with the dialect rs232, no adapter but the bus's first TDS on its own serial port.
# Its bus is not the demo's (a TDS 3012 at address 7 beside two other instruments), so its
# window shows what came over the COM port. The adapter ends when its standard input, held
# here, closes.
run_serial_viewer() { # name dialect windows-executable
  local name="$1" dialect="$2" exe="$3" trace="$build/$1-trace.txt" endpoint="" hold status=0
  local link=(--dialect "$dialect" --pty)
  [ "$dialect" != rs232 ] || link=(--rs232)
  build_host || return 1
  rm -f "$trace" "$build/adapter-stdin" "$build/adapter-endpoint.txt"
  mkfifo "$build/adapter-stdin"
  GPIBSIM_BUS="$repo/tests/data/bus-tds3012-among-others.json" GPIBSIM_TRACE="$trace" \
    "$build/host/sim/gpibsim-adapter" "${link[@]}" <"$build/adapter-stdin" >"$build/adapter-endpoint.txt" &
  exec {hold}>"$build/adapter-stdin"
  for _ in $(seq 50); do
    # It prints "pty /dev/pts/N".
    endpoint="$(head -1 "$build/adapter-endpoint.txt")"
    endpoint="${endpoint##* }"
    [ -n "$endpoint" ] && break
    sleep 0.2
  done
  if [ -z "$endpoint" ]; then
    echo "the simulated adapter did not start" >&2
    status=1
  else
    echo "simulated $dialect on $endpoint = COM4"
    ln -sfn "$endpoint" "$WINEPREFIX/dosdevices/com4"
    VIEWER_TRACE="$trace" watch_viewer "$name" "$exe" --no-remember --interface "$dialect:COM4" || status=1
    rm -f "$WINEPREFIX/dosdevices/com4"
  fi
  exec {hold}>&-
  wait
  return $status
}

# The network route under Wine: the simulated VXI-11 instrument (built for this machine) in a
# network namespace of its own with its own portmapper, the viewer under Wine reading its log
# there through vxi11:127.0.0.1 from the command line: the same bytes as the Linux viewer's
# through the same route. Where namespaces are not allowed, it says so and is passed over.
run_lan_read() {
  local code=0
  build_host || return 1
  if [ ! -x "$build/host/sim/vxi11sim" ]; then
    cmake --build "$build/host" -j"$jobs" --target vxi11sim >>"$build/host-build.log" 2>&1 ||
      { tail -20 "$build/host-build.log"; return 1; }
  fi
  rm -f "$build/read-lan-linux.csv" "$build/read-lan-windows.csv" "$build/lan-sim.txt"
  LAN_BUS="$repo/tests/data/bus-20-entries.json" LAN_SIM="$build/host/sim/vxi11sim" LAN_OUT="$build" \
    LAN_LINUX="$build/host/skeld-errlog" LAN_WINDOWS="$dist/skeld-errlog.exe" \
    bash "$repo/tests/route/lan-namespace.sh" bash -c '
      "$LAN_SIM" "$LAN_BUS" "$LAN_OUT/lan-trace.txt" >"$LAN_OUT/lan-sim.txt" &
      sim=$!
      for _ in $(seq 50); do grep -q serving "$LAN_OUT/lan-sim.txt" && break; sleep 0.1; done
      env -u DISPLAY "$LAN_LINUX" --read --no-remember --interface vxi11:127.0.0.1 --format csv \
        >"$LAN_OUT/read-lan-linux.csv"
      status=0
      WINEPATH= wine "$LAN_WINDOWS" --read --no-remember --interface vxi11:127.0.0.1 --format csv \
        >"$LAN_OUT/read-lan-windows.csv" || status=$?
      kill "$sim"
      wait "$sim" 2>/dev/null
      exit $status' || code=$?
  if [ "$code" -eq 77 ]; then
    echo "passed over: no network namespace of its own here"
    return 0
  fi
  echo "--read through vxi11:127.0.0.1: status $code, $(wc -l <"$build/read-lan-windows.csv") lines"
  if [ "$code" -ne 0 ] || ! cmp "$build/read-lan-linux.csv" "$build/read-lan-windows.csv"; then
    echo "the Windows reading through VXI-11 differs from the Linux one's" >&2
    return 1
  fi
}

# The program's icon for Windows, from its SVG at the sizes Windows shows.
make_icon() {
  local size pngs=()
  mkdir -p "$build/icon"
  for size in 16 24 32 48 256; do
    rsvg-convert -w "$size" -h "$size" "$repo/packaging/skeld-errlog.svg" -o "$build/icon/$size.png"
    pngs+=("$build/icon/$size.png")
  done
  convert "${pngs[@]}" "$build/skeld-errlog.ico"
}

# The installer and the portable zip of dist-windows/, in $build/installer.
make_packages() {
  make_icon
  rm -rf "$build/installer"
  cmake -S "$repo/packaging/windows" -B "$build/installer" -DSKELD_DIST="$dist" \
    -DSKELD_ICON="$build/skeld-errlog.ico" >"$build/installer-configure.log" 2>&1 ||
    { tail -20 "$build/installer-configure.log"; return 1; }
  (cd "$build/installer" && cpack -G NSIS && cpack -G ZIP -D CPACK_PACKAGE_FILE_NAME=skeld-errlog-1.3.0-win64) \
    >"$build/installer-cpack.log" 2>&1 || { tail -30 "$build/installer-cpack.log"; return 1; }
  ls -l "$build/installer"/skeld-errlog-1.3.0-win64-setup.exe "$build/installer"/skeld-errlog-1.3.0-win64.zip
}

# Under Wine: the installer run silently, the installed demo started from its Start-menu entry
# until it has read the log, the uninstaller run; nothing of the program may be left.
check_installer() {
  local folder="$WINEPREFIX/drive_c/Program Files/Skeld Error Log Viewer"
  local menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Skeld Error Log Viewer"
  local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Skeld Error Log Viewer'
  local exe='C:\Program Files\Skeld Error Log Viewer\skeld-errlog.exe' status=0
  local demo='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Skeld Error Log Viewer\Skeld Error Log Viewer (Simulated Scope).lnk'
  wine "$build/installer/skeld-errlog-1.3.0-win64-setup.exe" /S && wineserver -w
  [ -f "$folder/skeld-errlog.exe" ] && [ -f "$folder/sim/Gpib-32.dll" ] && [ ! -e "$folder/Gpib-32.dll" ] ||
    { echo "the installer did not install the program as expected" >&2; return 1; }
  echo "installed: $(find "$folder" -type f | wc -l) files, $(du -sh "$folder" | cut -f1)"
  ls "$menu"
  wine reg query "$key" | tr -d '\r'
  # An interface named for real hardware must not lead the demo away from its driver.
  SKELD_GPIB_INTERFACE=prologix:COM9 watch_viewer installed-demo start /wait "$demo" || status=1
  # The installed viewer itself through each adapter dialect on a Wine COM port.
  run_serial_viewer installed-prologix prologix "$exe" || status=1
  run_serial_viewer installed-ar488 ar488 "$exe" || status=1
  run_serial_viewer installed-rs232 rs232 "$exe" || status=1
  wine "$folder/Uninstall.exe" /S && wineserver -w
  if [ -e "$folder" ] || [ -e "$menu" ] || wine reg query "$key" >/dev/null 2>&1; then
    echo "the uninstaller left something behind:" >&2
    find "$folder" "$menu" 2>/dev/null >&2 || true
    return 1
  fi
  echo "uninstalled: no program folder, no Start-menu folder, no entry in the installed programs"
  return $status
}

start=$SECONDS
step "packages"
install_packages
ensure_deb_src
step "Qt for Windows, cached in $cache"
build_qt
echo "Qt ready after $((SECONDS - start)) s"
step "the viewer, its tests and the simulated Gpib-32.dll (in $build)"
build_viewer
step "dist-windows/"
assemble_dist
du -sh "$dist"
step "the tests under Wine, offscreen"
setup_wine
status=0
run_tests || status=1
step "the viewer under Wine"
run_viewer || status=1
step "the command-line reading under Wine"
run_read_command || status=1
step "the serial adapter driver under Wine: the simulated Prologix on COM4"
run_serial_viewer serial-viewer prologix "$(windows_path "$dist/skeld-errlog.exe")" || status=1
step "the scope's own serial port under Wine: the simulated TDS 3012 on COM4, as rs232:COM4"
run_serial_viewer rs232-viewer rs232 "$(windows_path "$dist/skeld-errlog.exe")" || status=1
step "the network route under Wine: the simulated VXI-11 instrument, as vxi11:127.0.0.1"
run_lan_read || status=1
step "the installer and the portable zip"
make_packages || status=1
step "the installer under Wine: install, the demo, uninstall"
check_installer || status=1
wineserver -w
echo "took $((SECONDS - start)) s"
exit $status
