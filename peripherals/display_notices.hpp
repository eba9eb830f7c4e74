#pragma once

// Registration for display notices. On Linux the kernel's DRM hot-plug events (through udev) arrive as
// "changed" notices, and the GUI's screens being added or removed as "added" (16) and "removed" (32).

#include <cstdint>
#include <memory>

namespace tamrik {

class PeripheralManager;

inline constexpr std::uint32_t kDisplayAdded = 16;
inline constexpr std::uint32_t kDisplayRemoved = 32;

/// Registers `manager` for display notices on the main thread, for the rest of the program. The
/// registration keeps the manager alive; its outcome is not examined.
void registerForDisplayNotices(std::shared_ptr<PeripheralManager> manager);

}  // namespace tamrik
