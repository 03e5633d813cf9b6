# Writes the module-definition file of the functions an import library
# imports (its __imp_ symbols):
#   cmake -DNM=nm -DIMPLIB=libx.a -DPREFIX=__imp_ -DDEF=x.def -P implibdef.cmake
execute_process(COMMAND ${NM} ${IMPLIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} cannot read ${IMPLIB}")
endif()
string(REGEX MATCHALL " I ${PREFIX}[^\n]+" imports "${symbols}")
list(LENGTH imports count)
if(count EQUAL 0)
  message(FATAL_ERROR "${IMPLIB} imports no functions")
endif()
set(def "EXPORTS\n")
foreach(line IN LISTS imports)
  string(REPLACE " I ${PREFIX}" "" name "${line}")
  string(APPEND def "${name}\n")
endforeach()
file(WRITE ${DEF} "${def}")
