# A Windows cross build finds the libraries Debian ships only for Linux in a
# prefix of static libraries built here, at configure time, from Debian's
# source packages (cmake/windows-deps/). The prefix is built once and shared
# by the build trees that name the same LVS_WINDOWS_DEPS.
set(LVS_WINDOWS_SOURCES /usr/local/src/lumivastrin-windows CACHE PATH
  "Unpacked Debian source packages of libjpeg-turbo, libzip and libpng (scripts/install-deps.sh --windows)")
set(LVS_WINDOWS_DEPS ${CMAKE_BINARY_DIR}/windows-deps CACHE PATH
  "Where the cross-built libraries are built and installed")
set(deps_prefix ${LVS_WINDOWS_DEPS}/prefix)
set(deps_stamp ${deps_prefix}/.complete)
# Built again when the recipe changes, or what is in the sources folder (a
# newer Debian revision unpacked there).
file(READ ${CMAKE_CURRENT_LIST_DIR}/windows-deps/CMakeLists.txt recipe)
file(GLOB source_trees LIST_DIRECTORIES true RELATIVE ${LVS_WINDOWS_SOURCES} ${LVS_WINDOWS_SOURCES}/*)
string(SHA256 recipe_hash "${recipe}${source_trees}")

set(deps_done FALSE)
if(EXISTS ${deps_stamp})
  file(READ ${deps_stamp} stamped)
  if(stamped STREQUAL recipe_hash)
    set(deps_done TRUE)
  endif()
endif()
if(NOT deps_done)
  message(STATUS "Cross-building libjpeg-turbo, libzip, libpng and GoogleTest into ${deps_prefix}")
  file(REMOVE_RECURSE ${LVS_WINDOWS_DEPS})
  file(MAKE_DIRECTORY ${LVS_WINDOWS_DEPS})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/windows-deps -B ${LVS_WINDOWS_DEPS}/build
            -G ${CMAKE_GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
            -DLVS_DEPS_PREFIX=${deps_prefix} -DLVS_WINDOWS_SOURCES=${LVS_WINDOWS_SOURCES}
    RESULT_VARIABLE failed OUTPUT_FILE ${LVS_WINDOWS_DEPS}/configure.log ERROR_FILE ${LVS_WINDOWS_DEPS}/configure.log)
  if(NOT failed)
    execute_process(
      COMMAND ${CMAKE_COMMAND} --build ${LVS_WINDOWS_DEPS}/build
      RESULT_VARIABLE failed OUTPUT_FILE ${LVS_WINDOWS_DEPS}/build.log ERROR_FILE ${LVS_WINDOWS_DEPS}/build.log)
  endif()
  if(failed)
    message(FATAL_ERROR "Cross-building the Windows libraries failed: see ${LVS_WINDOWS_DEPS}/*.log")
  endif()
  file(WRITE ${deps_stamp} ${recipe_hash})
endif()

list(APPEND CMAKE_FIND_ROOT_PATH ${deps_prefix})
set(ENV{PKG_CONFIG_LIBDIR} ${deps_prefix}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(LVS_WINDOWS_DEPS_PREFIX ${deps_prefix})
