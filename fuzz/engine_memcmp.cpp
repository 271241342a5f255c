// memcmp for the engine's code in fuzzing builds (see cmake/unicorn.cmake):
// built without instrumentation, so libFuzzer does not record each call.
#include <cstddef>

extern "C" int quorix_engine_memcmp(const void* a, const void* b, std::size_t n) {
  const auto* x = static_cast<const unsigned char*>(a);
  const auto* y = static_cast<const unsigned char*>(b);
  for (std::size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  return 0;
}
