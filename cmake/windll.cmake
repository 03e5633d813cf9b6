# How the Windows DLLs of the project are linked so that they load fast.
#
# kw_delayload(TARGET DLL): TARGET binds DLL at the first call of one of its
# functions instead of when TARGET is loaded. A host that has not loaded DLL
# yet then pays for it only when a call needs it. The delay-import library is
# made by dlltool from the names in the toolchain's own import library, so it
# covers whatever the code calls.
#
# kw_windows_dll(TARGET): the layout of a DLL that loads fast: sections at
# page-aligned file offsets (Wine maps such an image straight from the file;
# otherwise it reads every section into fresh memory), no debug sections (the
# static run time's would be mapped with the image), undecorated stdcall
# exports from the .def file.
function(kw_delayload target dll)
  if(NOT CMAKE_DLLTOOL OR NOT CMAKE_NM)
    message(FATAL_ERROR "kw_delayload needs the toolchain's dlltool and nm (binutils-mingw-w64)")
  endif()
  set(implib_name lib${dll}.a)
  find_library(KW_IMPLIB_${dll} NAMES ${implib_name} REQUIRED)
  set(out ${CMAKE_BINARY_DIR}/delayload)
  set(delaylib ${out}/lib${dll}_delayed.a)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # i686 names carry @bytes; the DLL exports them undecorated.
    set(prefix "__imp__")
    set(kill_at -k)
  else()
    set(prefix "__imp_")
    set(kill_at)
  endif()
  if(NOT TARGET kw_${dll}_delayed)
    add_custom_command(
      OUTPUT ${delaylib}
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DIMPLIB=${KW_IMPLIB_${dll}} -DPREFIX=${prefix}
              -DDEF=${out}/${dll}.def -P ${PROJECT_SOURCE_DIR}/cmake/implibdef.cmake
      COMMAND ${CMAKE_DLLTOOL} ${kill_at} -d ${out}/${dll}.def -D ${dll}.dll -y ${delaylib}
      DEPENDS ${KW_IMPLIB_${dll}} ${PROJECT_SOURCE_DIR}/cmake/implibdef.cmake
      VERBATIM)
    add_custom_target(kw_${dll}_delayed_lib DEPENDS ${delaylib})
    add_library(kw_${dll}_delayed STATIC IMPORTED GLOBAL)
    set_target_properties(kw_${dll}_delayed PROPERTIES IMPORTED_LOCATION ${delaylib})
    add_dependencies(kw_${dll}_delayed kw_${dll}_delayed_lib)
  endif()
  target_link_libraries(${target} PUBLIC kw_${dll}_delayed)
endfunction()

function(kw_windows_dll target)
  target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--file-alignment=0x1000 -Wl,--strip-debug)
endfunction()
