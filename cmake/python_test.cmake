# A test that is a Python program of the proof's: it imports the tools as the
# package they are (tools.harness, tools.host, ...), from this checkout.
# add_python_test(NAME LABELS SCRIPT [ARGUMENT...]); LABELS is the suite.
function(add_python_test name labels script)
  add_test(NAME ${name} COMMAND Python3::Interpreter ${script} ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS "${labels}"
                       ENVIRONMENT "PYTHONPATH=${CMAKE_SOURCE_DIR}")
endfunction()
