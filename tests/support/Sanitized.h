#pragma once

// Under the address sanitizer every reallocation copies, which makes Qt's step-by-step growth of
// one enormous line quadratic, and freed memory is kept, which distorts peak figures.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool bSanitized = true;
#elif defined(__has_feature)
constexpr bool bSanitized = __has_feature(address_sanitizer);
#else
constexpr bool bSanitized = false;
#endif

// One line of 50 MB, as a broken file may hold; a tenth of it takes the same paths sanitized.
constexpr int longLine = bSanitized ? 5 * 1000 * 1000 : 50 * 1000 * 1000;
