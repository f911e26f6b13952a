# orvalen_find_pytest(<var>): a python3 that can import pytest, for the desk suites. Debian's
# python3-pytest (scripts/setup) is there for the system's python3 only; a python3 that comes first
# on the PATH (pyenv, a venv) may lack it.
function(orvalen_find_pytest var)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  foreach(candidate IN ITEMS ${Python3_EXECUTABLE} /usr/bin/python3)
    execute_process(COMMAND ${candidate} -c "import pytest" RESULT_VARIABLE status
                    OUTPUT_QUIET ERROR_QUIET)
    if(status EQUAL 0)
      set(${var} ${candidate} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(WARNING "No python3 here imports pytest (python3-pytest, see scripts/setup): "
                  "the desk suites will fail")
  set(${var} ${Python3_EXECUTABLE} PARENT_SCOPE)
endfunction()
