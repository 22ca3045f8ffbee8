# Run after the module is linked:
#   cmake -DNM=<nm> -DMODULE=<dll> -P CheckModuleRuntime.cmake
# The module must live on in a host whose memory is gone, so it holds none of
# the C++ runtime's pieces that set themselves up on first use with memory
# they cannot do without, and that end the process when it is not there:
# emulated thread-local storage (each thread's block on its first access), the
# exception machinery (the emergency pool and its lock, each thread's record
# of its exceptions, and the unwinder's one-time set-up on the first throw),
# the guards of function-local statics (a lock made on the first contended
# initialisation), and the thread runtime's one-time initialisation, on which
# the others rest and which dereferences its own failed allocation. The
# linked image's symbols tell which pieces the linker took from the runtime's
# libraries, whatever the sources say.
if(NOT NM OR NOT MODULE)
  message(FATAL_ERROR "CheckModuleRuntime: NM and MODULE must be given")
endif()
execute_process(COMMAND "${NM}" "${MODULE}" OUTPUT_VARIABLE symbols ERROR_VARIABLE errors
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "CheckModuleRuntime: ${NM} could not read ${MODULE}: ${errors}")
endif()

# One piece per entry: what it is, then a regular expression matching any of
# the symbols by which the linker brings it in.
set(pieces
  "emulated thread-local storage=__emutls_"
  "the exception emergency pool=emergency_pool|__gnu_cxx9__freeres"
  "a C++ throw=__cxa_throw|__cxa_rethrow|__cxa_allocate_exception|__cxa_allocate_dependent_exception"
  "a guard of a function-local static=__cxa_guard_acquire"
  "the thread runtime's one-time initialisation=pthread_once")

string(REPLACE "\n" ";" lines "${symbols}")
set(found "")
foreach(piece IN LISTS pieces)
  string(FIND "${piece}" "=" split)
  string(SUBSTRING "${piece}" 0 ${split} what)
  math(EXPR from "${split} + 1")
  string(SUBSTRING "${piece}" ${from} -1 pattern)
  set(names "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F ]+ [A-Za-z] (.*)$")
      set(name "${CMAKE_MATCH_1}")
      if(name MATCHES "${pattern}")
        # As the sources spell it: without the section a symbol names, or
        # without the prefix that 32-bit Windows gives C symbols.
        if(name MATCHES "^\\.[A-Za-z.]+\\$(.*)$")
          set(name "${CMAKE_MATCH_1}")
        elseif(name MATCHES "^_(.*)$")
          set(name "${CMAKE_MATCH_1}")
        endif()
        list(APPEND names "${name}")
      endif()
    endif()
  endforeach()
  if(names)
    list(REMOVE_DUPLICATES names)
    list(JOIN names ", " named)
    string(APPEND found "\n  ${what}: ${named}")
  endif()
endforeach()
if(found)
  message(FATAL_ERROR "${MODULE} holds pieces of the C++ runtime that set themselves up "
    "with memory they cannot do without:${found}")
endif()
