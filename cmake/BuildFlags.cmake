# What every target of ours compiles and links with, as targets they link
# rather than flags of the whole directory tree: libraries found on the
# system keep their own, and a target can be left out of one (the fuzzers'
# harness carries no coverage, the fuzzed module's decoder no sanitizers).
add_library(lvs_warnings INTERFACE)
target_compile_options(lvs_warnings INTERFACE -Wall -Wextra)

# The sanitizers reach the module, the host library and the programs that
# dlopen the module alike: a runtime in one of them and not the others would
# miss the faults at the boundary, or fail to load.
add_library(lvs_sanitizers INTERFACE)
if(LVS_SANITIZE OR LVS_FUZZ)
  target_compile_options(lvs_sanitizers INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(lvs_sanitizers INTERFACE -fsanitize=address,undefined)
elseif(LVS_TSAN)
  target_compile_options(lvs_sanitizers INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(lvs_sanitizers INTERFACE -fsanitize=thread)
endif()

# Coverage for libFuzzer: everything the fuzzers link or dlopen, unless the
# target says LVS_NO_COVERAGE. Only the fuzz programs link libFuzzer itself
# (fuzz/CMakeLists.txt).
add_library(lvs_coverage INTERFACE)
if(LVS_FUZZ)
  target_compile_options(lvs_coverage INTERFACE
    $<$<NOT:$<BOOL:$<TARGET_PROPERTY:LVS_NO_COVERAGE>>>:-fsanitize=fuzzer-no-link>)
endif()

# What a distribution expects of the binaries it ships: the dynamic linker
# resolves every symbol at load and then write-protects its tables (relro,
# bindnow), and the C library checks the buffer sizes the compiler can see
# (fortify, which needs the optimiser). Not in the sanitizer builds, whose
# runtimes take those calls over themselves.
add_library(lvs_hardening INTERFACE)
if(NOT (LVS_SANITIZE OR LVS_TSAN OR LVS_FUZZ))
  target_compile_definitions(lvs_hardening INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(lvs_hardening INTERFACE -Wl,-z,relro -Wl,-z,now)
  elseif(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # MinGW's checked functions live in GCC's libssp, linked in statically
    # like the rest of the runtime.
    target_link_libraries(lvs_hardening INTERFACE ssp)
  endif()
endif()

# What the system built for asks. On Windows the .aex and every program
# carry MinGW's C++ runtime, libgcc and winpthreads inside: neither the
# host's process nor a user's machine has those DLLs to offer.
add_library(lvs_platform_flags INTERFACE)
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_link_options(lvs_platform_flags INTERFACE -static)
  # GCC for Windows cannot align the stack to 32 bytes, yet may spill AVX
  # registers with aligned moves (GCC bug 54412); the assembler makes every
  # such move an unaligned one, which costs nothing on aligned data.
  target_compile_options(lvs_platform_flags INTERFACE -Wa,-muse-unaligned-vector-move)
endif()

add_library(lvs_build INTERFACE)
target_link_libraries(lvs_build INTERFACE lvs_warnings lvs_sanitizers lvs_coverage lvs_hardening lvs_platform_flags)

# The decoder, the package reader and the metadata parser are tested and
# fuzzed without a host: neither they nor anything they link may see the host
# interface's headers, which come in through lvs_sdk alone.
function(lvs_require_host_free)
  foreach(target ${ARGN})
    set(pending ${target})
    set(seen "")
    while(pending)
      list(POP_FRONT pending t)
      if(NOT TARGET ${t} OR t IN_LIST seen)
        continue()
      endif()
      list(APPEND seen ${t})
      if(t STREQUAL "lvs_sdk")
        message(FATAL_ERROR "${target} must not link the host interface (lvs_sdk)")
      endif()
      get_target_property(type ${t} TYPE)
      set(properties INTERFACE_INCLUDE_DIRECTORIES INTERFACE_LINK_LIBRARIES)
      if(NOT type STREQUAL "INTERFACE_LIBRARY")
        list(APPEND properties INCLUDE_DIRECTORIES LINK_LIBRARIES)
      endif()
      foreach(p ${properties})
        get_target_property(values ${t} ${p})
        if(NOT values)
          continue()
        endif()
        if(p MATCHES "INCLUDE")
          foreach(dir ${values})
            if(dir STREQUAL "${PROJECT_SOURCE_DIR}/sdk" OR dir STREQUAL "${PROJECT_SOURCE_DIR}/sdk/")
              message(FATAL_ERROR "${target} must not see the host interface's headers (${t} includes ${dir})")
            endif()
          endforeach()
        else()
          string(REGEX REPLACE "\\$<LINK_ONLY:([^>]*)>" "\\1" values "${values}")
          list(APPEND pending ${values})
        endif()
      endforeach()
    endwhile()
  endforeach()
endfunction()
