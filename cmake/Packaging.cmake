# Installing the plug-in module and lvs (cmake --install), and the Debian
# package of both (cpack); on Windows, a zip of both with the README and the
# sample side by side, for the user to put the .aex where the host looks.
set(LVS_PACKAGE_NAME lumivastrin-styles-importer)
if(WIN32)
  set(CMAKE_INSTALL_BINDIR . CACHE PATH "lvs.exe")
  set(CMAKE_INSTALL_DOCDIR . CACHE PATH "Documentation and the sample package")
  set(LVS_INSTALL_PLUGINDIR . CACHE PATH "Where the plug-in module is installed, under the prefix")
  set(LVS_INSTALL_EXAMPLESDIR .)
else()
  set(CMAKE_INSTALL_DOCDIR share/doc/${LVS_PACKAGE_NAME} CACHE PATH "Documentation and the sample package")
endif()
include(GNUInstallDirs)
if(NOT WIN32)
  # The module is for the host and for lvs, not for the linker: a folder of its
  # own rather than the library directory itself, and one level below the
  # package's, so that no packaging tool takes it for a shared library the
  # linker's cache must learn of (CPack would run ldconfig for it).
  set(LVS_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/${LVS_PACKAGE_NAME}/plug-ins CACHE PATH
    "Where the plug-in module is installed, under the prefix")
  set(LVS_INSTALL_EXAMPLESDIR ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

# lvs finds the installed module from its own place, so the path between the
# two must be relative: the prefix may be chosen at install time, or moved.
foreach(dir CMAKE_INSTALL_BINDIR LVS_INSTALL_PLUGINDIR)
  if(IS_ABSOLUTE "${${dir}}")
    message(FATAL_ERROR "${dir} must be relative to the prefix, for lvs to find the module wherever it is installed")
  endif()
endforeach()
file(RELATIVE_PATH plugin_from_bindir /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${LVS_INSTALL_PLUGINDIR})
if(plugin_from_bindir)
  set(plugin_from_bindir "${plugin_from_bindir}/")
endif()
if(TARGET lvs)
  target_compile_definitions(lvs PRIVATE
    LVS_PLUGIN_FROM_INSTALLED_TOOL="${plugin_from_bindir}$<TARGET_FILE_NAME:LumivastrinImporter>")
  install(TARGETS lvs RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(NOT WIN32)
    # The manual page compressed as Debian's tools compress it (no name or
    # time in the header, so that two builds give the same bytes), and the
    # completion where bash-completion loads it from by the command's name.
    set(LVS_MANPAGE_GZ ${CMAKE_BINARY_DIR}/lvs.1.gz)
    add_custom_command(
      OUTPUT ${LVS_MANPAGE_GZ}
      COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/tools/lvs/lvs.1 > ${LVS_MANPAGE_GZ}
      DEPENDS ${PROJECT_SOURCE_DIR}/tools/lvs/lvs.1
      VERBATIM)
    add_custom_target(lvs_manpage ALL DEPENDS ${LVS_MANPAGE_GZ})
    install(FILES ${LVS_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${PROJECT_SOURCE_DIR}/tools/lvs/lvs.bash-completion
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME lvs)
  endif()
endif()

# (A module is a LIBRARY on ELF and Mach-O, a RUNTIME on Windows.)
install(TARGETS LumivastrinImporter LIBRARY DESTINATION ${LVS_INSTALL_PLUGINDIR}
  RUNTIME DESTINATION ${LVS_INSTALL_PLUGINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/examples/sample.lvs DESTINATION ${LVS_INSTALL_EXAMPLESDIR})

if(WIN32)
  # The licences travel with the zip as with the Debian package.
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME ${LVS_PACKAGE_NAME})
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_SYSTEM_NAME windows-x64)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

# What a Debian package must carry beside the programs: the copyright and
# licences, and the changelog compressed as Debian's tools compress it (no
# name or time in the header, so that two builds give the same bytes). The
# changelog's newest entry names the version this project builds.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${LVS_PACKAGE_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog: the newest entry must be ${LVS_PACKAGE_NAME} (${PROJECT_VERSION})")
endif()
set(LVS_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${LVS_CHANGELOG_GZ}
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${LVS_CHANGELOG_GZ}
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
  VERBATIM)
add_custom_target(lvs_changelog ALL DEPENDS ${LVS_CHANGELOG_GZ})
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${LVS_CHANGELOG_GZ} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${LVS_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumivastrin")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "After Effects importer of .lvs style packages, and the lvs tool")
# Lines of the long description stay under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "The Lumivastrin Styles Importer plug-in module, which teaches After Effects
the .lvs style package, and lvs, which shows what the host will see of a
package by loading that module into a substitute host: whether it imports,
the record it keeps, the frame it draws and, when anything is wrong, why.
lvs also makes packages, and draws contact sheets of many.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Lumivastrin Styles Importer maintainers <styles-importer@lumivastrin.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The Depends line comes from the libraries the binaries link (dpkg-shlibdeps;
# the module's zlib and lvs's libpng among them), not from a list kept here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# lvs sheet draws its text with these when they are there, else with a face
# of its own that has Latin-1 only.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-droid-fallback")
include(CPack)
