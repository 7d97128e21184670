# The one place for the language standard, warnings and hardening flags.
add_library(cv2_options INTERFACE)
target_compile_features(cv2_options INTERFACE cxx_std_20)
target_compile_options(cv2_options INTERFACE
  -Wall -Wextra -Wpedantic
  -fstack-protector-strong
  $<$<BOOL:${CV2_WERROR}>:-Werror>
  # GCC 12 reports std::string's own copies as overlapping at -O2 (a known false positive of
  # -Wrestrict inside libstdc++); the warning says nothing about our code.
  $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
target_link_options(cv2_options INTERFACE -Wl,-z,relro -Wl,-z,now -Wl,--enable-new-dtags)

if(CV2_SANITIZE)
  target_compile_options(cv2_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(cv2_options INTERFACE -fsanitize=address,undefined)
else()
  # Fortification needs optimisation and does not mix with the sanitizers.
  target_compile_definitions(cv2_options INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
set(CMAKE_CXX_EXTENSIONS OFF)

# Fuzzing (clang): every object gets coverage instrumentation and the sanitizers, so that the
# libFuzzer programs see into the libraries they call.
if(CV2_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "CV2_FUZZ needs clang: CC=clang CXX=clang++ cmake ... -DCV2_FUZZ=ON")
  endif()
  target_compile_options(cv2_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-omit-frame-pointer)
  target_link_options(cv2_options INTERFACE -fsanitize=address,undefined)
endif()
