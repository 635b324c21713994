# Runs the icon generator into a scratch folder and compares its output with the committed files,
# so that icon 130 and the desktop icons never drift from the design that draws them.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/icons")
execute_process(COMMAND "${GENERATOR}" "${WORK}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the icon generator failed (${result})")
endif()
foreach(name icon_130.cpp icons/glintview-32.png icons/glintview-48.png icons/glintview-64.png
             icons/glintview-128.png icons/glintview-256.png)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/${name}" "${SOURCE}/${name}"
                  RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "resources/${name} is not the generator's output: regenerate it")
  endif()
endforeach()
