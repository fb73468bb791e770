# One interface target carries the warning and sanitizer flags; every target links it.
add_library(tq_options INTERFACE)
target_compile_features(tq_options INTERFACE cxx_std_20)

set(_tq_cxx_warnings -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align
                     -Wunused -Woverloaded-virtual -Wformat=2 -Wno-format-nonliteral
                     -Wimplicit-fallthrough)
if(TQ_WERROR)
  list(APPEND _tq_cxx_warnings -Werror)
endif()
target_compile_options(tq_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:${_tq_cxx_warnings}>)
# No code reads errno after a mathematical function, so a square root is the
# one instruction, without the test and the library call for a negative
# argument that errno would need; every result is the same.
target_compile_options(tq_options INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-fno-math-errno>)
# nvcc hands the host warnings to the host compiler.
string(REPLACE ";" "," _tq_xcompiler "${_tq_cxx_warnings}")
target_compile_options(tq_options INTERFACE
  $<$<COMPILE_LANGUAGE:CUDA>:-Xcompiler=${_tq_xcompiler}>
  $<$<AND:$<COMPILE_LANGUAGE:CUDA>,$<BOOL:${TQ_WERROR}>>:-Werror=all-warnings>)

if(TQ_SANITIZE)
  target_compile_options(tq_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                              -fno-sanitize-recover=undefined)
  target_link_options(tq_options INTERFACE -fsanitize=address,undefined)
endif()
if(TQ_FUZZ)
  # Coverage instrumentation for every library; the fuzz targets link the
  # libFuzzer driver themselves (tests/fuzz/).
  target_compile_options(tq_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                              -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tq_options INTERFACE -fsanitize=address,undefined)
endif()
if(TQ_TSAN)
  target_compile_options(tq_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(tq_options INTERFACE -fsanitize=thread)
endif()

find_package(Threads REQUIRED)
target_link_libraries(tq_options INTERFACE Threads::Threads)
