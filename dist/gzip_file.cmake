# Compresses IN into OUT as Debian wants manual pages and changelogs: gzip -9, no name and no
# time stamp in the header, so that the same text always gives the same bytes.
execute_process(COMMAND gzip -9nc ${IN} OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${IN}")
endif()
