# Compiles IDL with widl: a header and interface ids for C++, and a type
# library for resources and registration.
# The system IDL files (oaidl.idl, ocidl.idl, ...) come from Wine's development files.
find_path(WIDL_INCLUDE_DIR oaidl.idl PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
# importlib("stdole2.tlb") is resolved against Wine's own copy.
find_path(WIDL_TLB_DIR stdole2.tlb PATHS /usr/lib/i386-linux-gnu/wine/i386-windows
          /usr/lib/wine/i386-windows NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# zrv_widl(<idl> HEADER <h> IIDS <c> TLB <tlb>): any of the outputs may be left out.
function(zrv_widl idl)
  cmake_parse_arguments(ARG "" "HEADER;IIDS;TLB" "" ${ARGN})
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  get_filename_component(idl_dir ${idl_abs} DIRECTORY)
  set(common -m32 -L${WIDL_TLB_DIR} -I${WIDL_INCLUDE_DIR} -I${idl_dir} -I${CMAKE_BINARY_DIR}/idl)
  if(ARG_HEADER)
    add_custom_command(OUTPUT ${ARG_HEADER}
      COMMAND ${WIDL_EXECUTABLE} ${common} -h -o ${ARG_HEADER} ${idl_abs}
      DEPENDS ${idl_abs} VERBATIM)
  endif()
  if(ARG_IIDS)
    add_custom_command(OUTPUT ${ARG_IIDS}
      COMMAND ${WIDL_EXECUTABLE} ${common} -u -o ${ARG_IIDS} ${idl_abs}
      DEPENDS ${idl_abs} VERBATIM)
  endif()
  if(ARG_TLB)
    add_custom_command(OUTPUT ${ARG_TLB}
      COMMAND ${WIDL_EXECUTABLE} ${common} -t -o ${ARG_TLB} ${idl_abs}
      DEPENDS ${idl_abs} VERBATIM)
  endif()
endfunction()
