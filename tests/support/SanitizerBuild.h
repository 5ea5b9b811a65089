#pragma once
// Sanitizer builds run several times slower: a time bound that holds on the program as
// shipped is given room there, never dropped.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define NCFERRY_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NCFERRY_SANITIZED 1
#endif
#endif

#ifdef NCFERRY_SANITIZED
constexpr int SanitizerSlack = 3;
#else
constexpr int SanitizerSlack = 1;
#endif
