#pragma once

namespace skeld {

// The program's homepage host: firmware download, version file and program page.
constexpr char HomepageHost[] = "www.skeld-instruments.example";

} // namespace skeld
