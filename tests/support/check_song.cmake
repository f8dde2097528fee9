# Runs the song generator into WORK and compares the module it writes with resources/.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${GENERATOR} ${WORK}/118-song.xm RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make-song failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/118-song.xm ${RESOURCES}/118-song.xm
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "118-song.xm: the generator's output differs from resources/118-song.xm")
endif()
