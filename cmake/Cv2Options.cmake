# The one place for the language standard, warnings and hardening flags.
add_library(cv2_options INTERFACE)
target_compile_features(cv2_options INTERFACE cxx_std_20)
target_compile_options(cv2_options INTERFACE
  -Wall -Wextra -Wpedantic
  -fstack-protector-strong
  $<$<BOOL:${CV2_WERROR}>:-Werror>)
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
