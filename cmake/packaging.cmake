# The packages, made by `cpack` in a build directory:
# - from the mingw build, a ZIP for Windows hosts: KOVRINSX.DLL, a sample
#   KOVRIN.INT, the install text, and in try/ vpihost.exe with what it needs
#   and the sample KOVRIN.INT;
# - from the native build, a Debian package: the module, the stand-in host
#   library, vpihost, rtusim, the demo gates and a man page for each program.

set(CPACK_PACKAGE_NAME kovrinsx)
set(CPACK_PACKAGE_VENDOR "KOVRIN project")
set(KOVRIN_PACKAGE_MAINTAINER "KOVRIN project <kovrin-project@users.noreply.github.com>"
    CACHE STRING "The Maintainer field of the Debian package and its changelog")
set(CPACK_PACKAGE_CONTACT "${KOVRIN_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus RTU / J-BUS RTU master driver module for supervisory hosts")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  # Notepad and every other Windows editor: CR LF.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/KOVRIN.INT ${PROJECT_BINARY_DIR}/packaging/KOVRIN.INT
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/INSTALL.txt.in ${PROJECT_BINARY_DIR}/packaging/INSTALL.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/host/demo.gates ${PROJECT_BINARY_DIR}/packaging/demo.gates
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES $<TARGET_FILE:kovrinsx> ${PROJECT_BINARY_DIR}/packaging/KOVRIN.INT
                ${PROJECT_BINARY_DIR}/packaging/INSTALL.txt
          DESTINATION .)
  # vpihost.exe loads KOVRINSX.DLL and ZELPRO.dll from its own folder; the
  # driver reads KOVRIN.INT from the folder it runs in, so a try there has
  # the sample to edit.
  install(PROGRAMS $<TARGET_FILE:vpihost> DESTINATION try)
  install(FILES $<TARGET_FILE:kovrinsx> $<TARGET_FILE:zelpro> ${PROJECT_BINARY_DIR}/packaging/demo.gates
                ${PROJECT_BINARY_DIR}/packaging/KOVRIN.INT
          DESTINATION try)
  include(CPack)
  return()
endif()

# The Debian package installs under this prefix; the installed vpihost looks
# for the module and the demo gates where it puts them.
set(KOVRIN_PACKAGE_PREFIX /usr CACHE PATH "Where the Debian package installs (vpihost's default paths follow it)")
set(KOVRIN_INSTALL_LIBDIR lib/kovrin)
set(KOVRIN_INSTALL_DATADIR share/kovrin)
set(KOVRIN_INSTALLED_MODULE ${KOVRIN_PACKAGE_PREFIX}/${KOVRIN_INSTALL_LIBDIR}/kovrinsx.so)
set(KOVRIN_INSTALLED_GATES ${KOVRIN_PACKAGE_PREFIX}/${KOVRIN_INSTALL_DATADIR}/demo.gates)

# vpihost as installed (packaging/CMakeLists.txt). It is defined one folder
# down: Ninja names a program of the top folder by its file name as well, and
# that phony "vpihost" would build this copy in place of the build tree's.
add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${PROJECT_BINARY_DIR}/packaging)
set_target_properties(kovrinsx PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS vpihost_installed rtusim RUNTIME DESTINATION bin)
install(TARGETS kovrinsx zelpro LIBRARY DESTINATION ${KOVRIN_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/host/demo.gates DESTINATION ${KOVRIN_INSTALL_DATADIR})

# What Debian asks of every package: the licence in machine-readable form and
# a changelog, in /usr/share/doc/<package>. The changelog's date honours
# SOURCE_DATE_EPOCH, so a rebuild of one version makes the same file.
set(doc_dir ${PROJECT_BINARY_DIR}/packaging/doc)
string(TIMESTAMP KOVRIN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${doc_dir}/changelog @ONLY)
install(CODE "
  execute_process(COMMAND gzip -9nf \"${doc_dir}/changelog\" -c
                  OUTPUT_FILE \"${doc_dir}/changelog.gz\" RESULT_VARIABLE failed TIMEOUT 60)
  if(failed)
    message(FATAL_ERROR \"gzip failed on ${doc_dir}/changelog\")
  endif()")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${doc_dir}/changelog.gz
        DESTINATION share/doc/${CPACK_PACKAGE_NAME})

# The man pages, from the programs' --help and --version and what --help
# leaves out (packaging/man/*.h2m: addresses, the init file, the environment,
# exit statuses), made when the package is: help2man runs the programs, which
# a normal build need not do.
find_program(KOVRIN_HELP2MAN help2man)
set(man_dir ${PROJECT_BINARY_DIR}/man)
if(KOVRIN_HELP2MAN)
  set(man_pages)
  foreach(program vpihost_installed rtusim)
    get_target_property(name ${program} OUTPUT_NAME)
    if(NOT name)
      set(name ${program})
    endif()
    if(name STREQUAL "vpihost")
      set(summary "run the KOVRINSX driver module as a host does")
    else()
      set(summary "Modbus RTU / J-BUS RTU slave simulator on a serial line")
    endif()
    install(CODE "
      file(MAKE_DIRECTORY \"${man_dir}\")
      execute_process(
        COMMAND \"${KOVRIN_HELP2MAN}\" --no-info --section=1 \"--name=${summary}\"
                \"--include=${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m\"
                \"--output=${man_dir}/${name}.1\" \"$<TARGET_FILE:${program}>\"
        RESULT_VARIABLE failed TIMEOUT 60)
      if(failed)
        message(FATAL_ERROR \"help2man failed on ${name} (\${failed})\")
      endif()
      execute_process(COMMAND gzip -9nf \"${man_dir}/${name}.1\" RESULT_VARIABLE failed TIMEOUT 60)
      if(failed)
        message(FATAL_ERROR \"gzip failed on ${man_dir}/${name}.1\")
      endif()")
    list(APPEND man_pages ${man_dir}/${name}.1.gz)
  endforeach()
  install(FILES ${man_pages} DESTINATION share/man/man1)
else()
  install(CODE "message(FATAL_ERROR \"The man pages need help2man (Debian package help2man)\")")
endif()

set(CPACK_GENERATOR DEB)
# The Windows files ship as built and checked; the Debian ones stripped, as usual.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${KOVRIN_PACKAGE_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/host)
# Only the maintainer scripts below: CPack would add ldconfig calls for the
# libraries under /usr/lib, but theirs is a private folder.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The summary is the Description's first line already; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "The driver module kovrinsx.so with the stand-in host library libzelpro.so,\n"
  "vpihost, which loads the module as a host does and polls a gates file\n"
  "(with a built-in device simulator for trying it), and rtusim, a device\n"
  "simulator serving Modbus RTU stations on a serial line or pseudo-terminal.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
include(CPack)
