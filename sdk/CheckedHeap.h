// Whether this is a build that checks memory use (AddressSanitizer): such a
// build keeps every object on the general heap and frees it there, so that a
// use after free is caught, where the ordinary build reuses memory its own
// way. The one definition the engine and the plug-in share.
#pragma once

namespace HostSdk {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kCheckedHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kCheckedHeap = true;
#else
inline constexpr bool kCheckedHeap = false;
#endif
#else
inline constexpr bool kCheckedHeap = false;
#endif

} // namespace HostSdk
