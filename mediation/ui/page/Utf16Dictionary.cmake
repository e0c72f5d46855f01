# Writes a UTF-8 dictionary as the bundle keeps it: UTF-16LE behind a byte-order mark.
# cmake -DINPUT=<source.json> -DOUTPUT=<bundle.json> -P Utf16Dictionary.cmake
# Text that is not UTF-8 stops the build rather than reach the page garbled.
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
execute_process(COMMAND iconv -f UTF-8 -t UTF-16LE ${INPUT}
                OUTPUT_FILE ${OUTPUT}.body RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT}.body)
  message(FATAL_ERROR "${INPUT} is not UTF-8 text")
endif()
string(ASCII 255 254 mark)
file(WRITE ${OUTPUT}.mark "${mark}")
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${OUTPUT}.mark ${OUTPUT}.body
                OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
file(REMOVE ${OUTPUT}.mark ${OUTPUT}.body)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot write ${OUTPUT}")
endif()
