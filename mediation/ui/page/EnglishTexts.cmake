# Writes the page as the bundle keeps it: the English dictionary in its "english-texts" block, so
# that a text the page is given no dictionary for still shows in English.
# cmake -DPAGE=<main.html> -DDICTIONARY=<en_US.json> -DOUTPUT=<bundle main.html> -P EnglishTexts.cmake
# A dictionary that is no JSON, or a page without the block, stops the build.
set(block_start "<script type=\"application/json\" id=\"english-texts\">")
set(block "${block_start}{}</script>")
file(READ ${PAGE} page)
file(READ ${DICTIONARY} english)
string(JSON kind ERROR_VARIABLE error TYPE "${english}")
if(error OR NOT kind STREQUAL "OBJECT")
  message(FATAL_ERROR "${DICTIONARY} is no JSON object: ${error}")
endif()
string(FIND "${page}" "${block}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${PAGE} has no empty english-texts block")
endif()
# No "<" may end the block early; inside JSON strings, \u003c reads as the same character.
string(REPLACE "<" "\\u003c" english "${english}")
string(STRIP "${english}" english)
string(REPLACE "${block}" "${block_start}${english}</script>" page "${page}")
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(WRITE ${OUTPUT} "${page}")
