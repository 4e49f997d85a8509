# Included by the top-level CMakeLists.txt when TERRAIN_SANITIZE is on, before any target:
# every library, tool and test is built with AddressSanitizer and UndefinedBehaviorSanitizer,
# and the first error ends the process.

add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # With the sanitizers' checks inlined, GCC 12 loses track of QByteArray's buffer size after
  # data() and warns that qToLittleEndian writes past an empty array; no such write happens.
  add_compile_options(-Wno-stringop-overflow)
endif()

# Mesa loads its software rasteriser (swrast_dri.so) with dlopen and unloads it again when the
# X display closes, which is before the leak check at exit. Whatever the driver still holds
# then looks leaked, from a module that no longer exists, so it can neither be told apart nor
# suppressed. Preloading the driver keeps it resident to the end. The ASan runtime has to come
# first in the preload list. viewer_test() starts every GL test through this launcher; the
# preload reaches only the test and what it starts, not xvfb-run and the X server.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                OUTPUT_VARIABLE asanRuntime OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(TERRAIN_SWRAST_DRI swrast_dri.so
          PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dri /usr/lib64/dri /usr/lib/dri
          NO_DEFAULT_PATH)
if(NOT EXISTS "${asanRuntime}" OR NOT TERRAIN_SWRAST_DRI)
  message(FATAL_ERROR "TERRAIN_SANITIZE needs the ASan runtime (${asanRuntime}) and Mesa's "
                      "swrast_dri.so (Debian: libgl1-mesa-dri)")
endif()
set(TERRAIN_GL_TEST_LAUNCHER env "LD_PRELOAD=${asanRuntime}:${TERRAIN_SWRAST_DRI}")
