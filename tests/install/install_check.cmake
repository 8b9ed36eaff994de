# cmake -DBUILD_DIR=... -DBINDIR=bin -DPLUGINDIR=lib/... -DMODULE=X.so -DSAMPLE=sample.lvs
#       -DWORK=dir [-DPACKAGE=ON] -P install_check.cmake
# Installs the build into a fresh prefix under WORK (with PACKAGE: makes the
# .deb, checks its Depends and unpacks it instead), then runs the lvs found
# there on the sample; moves the prefix and runs it again; then takes the
# module away from the moved prefix, where lvs must fail to load it rather
# than fall back on the build tree's.
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# check(CONDITION MESSAGE): CONDITION is the text of an if() condition.
function(check condition message)
  cmake_language(EVAL CODE "if(NOT (${condition}))\n message(FATAL_ERROR [==[${message}]==])\nendif()")
endfunction()

if(PACKAGE)
  execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB -B ${WORK}/out --config ${BUILD_DIR}/CPackConfig.cmake
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  check("rc EQUAL 0" "cpack failed: ${out}")
  file(GLOB debs ${WORK}/out/*.deb)
  list(LENGTH debs n)
  check("n EQUAL 1" "cpack made ${n} .deb files: ${debs}")
  execute_process(COMMAND dpkg-deb -f ${debs} Depends OUTPUT_VARIABLE depends RESULT_VARIABLE rc)
  check("rc EQUAL 0" "dpkg-deb cannot read ${debs}")
  # The libraries the module and lvs link, found from the binaries.
  string(STRIP "${depends}" depends)
  string(REPLACE ", " ";" entries "${depends}")
  set(names "")
  foreach(entry ${entries})
    string(REGEX REPLACE " .*" "" name "${entry}")
    list(APPEND names ${name})
  endforeach()
  foreach(package libc6 libstdc++6 zlib1g libpng16-16)
    check("\"${package}\" IN_LIST names" "Depends lacks ${package}: ${depends}")
  endforeach()
  execute_process(COMMAND dpkg-deb -x ${debs} ${WORK}/root RESULT_VARIABLE rc)
  check("rc EQUAL 0" "dpkg-deb cannot unpack ${debs}")
  set(prefix ${WORK}/root/usr)
else()
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK}/prefix
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  check("rc EQUAL 0" "cmake --install failed: ${out}")
  set(prefix ${WORK}/prefix)
endif()
check("EXISTS ${prefix}/${PLUGINDIR}/${MODULE}" "no module at ${prefix}/${PLUGINDIR}/${MODULE}")
# Where man and bash-completion look for them by the command's name.
foreach(file share/man/man1/lvs.1.gz share/bash-completion/completions/lvs)
  check("EXISTS ${prefix}/${file}" "no ${file} under ${prefix}")
endforeach()

function(run_info prefix)
  execute_process(COMMAND ${prefix}/${BINDIR}/lvs info --json ${SAMPLE}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  check("rc EQUAL 0" "${prefix}/${BINDIR}/lvs info: exit ${rc}: ${out}${err}")
  string(JSON result GET "${out}" result)
  string(JSON name GET "${out}" name)
  check("result EQUAL 0 AND name STREQUAL \"Golden Hour\"" "${prefix}/${BINDIR}/lvs info: ${out}")
endfunction()

run_info(${prefix})
file(RENAME ${prefix} ${WORK}/moved)
run_info(${WORK}/moved)

file(REMOVE ${WORK}/moved/${PLUGINDIR}/${MODULE})
execute_process(COMMAND ${WORK}/moved/${BINDIR}/lvs info ${SAMPLE} RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
check("rc EQUAL 3" "with its module gone, the moved lvs exited ${rc} (3 expected): ${err}")
string(FIND "${err}" "${WORK}/moved/${PLUGINDIR}/${MODULE}" at)
check("at GREATER -1" "the moved lvs did not look for its module in its own prefix: ${err}")
file(REMOVE_RECURSE ${WORK})
