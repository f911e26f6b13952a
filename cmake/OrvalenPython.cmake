# orvalen_find_python(<var> <module>): a python3 that can import <module> (pytest for the desk
# suites, pefile for the resource check). Debian's python3-<module> (scripts/setup) is there for
# the system's python3 only; a python3 that comes first on the PATH (pyenv, a venv) may lack it.
# It defines a function only, which is global: once for the whole build.
include_guard(GLOBAL)

function(orvalen_find_python var module)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  foreach(candidate IN ITEMS ${Python3_EXECUTABLE} /usr/bin/python3)
    execute_process(COMMAND ${candidate} -c "import ${module}" RESULT_VARIABLE status
                    OUTPUT_QUIET ERROR_QUIET)
    if(status EQUAL 0)
      set(${var} ${candidate} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(WARNING "No python3 here imports ${module} (python3-${module}, see scripts/setup): "
                  "the tests that need it will fail")
  set(${var} ${Python3_EXECUTABLE} PARENT_SCOPE)
endfunction()
