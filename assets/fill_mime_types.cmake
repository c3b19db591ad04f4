# Writes the desktop entry with the MIME types of the table of formats in
# its MimeType=, as list_formats prints them.
# cmake -DLIST_FORMATS=program -DIN=template -DOUT=entry -P fill_mime_types.cmake
execute_process(COMMAND ${LIST_FORMATS} mime-types OUTPUT_VARIABLE types
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" MOK_MIME_TYPES "${types}")
configure_file(${IN} ${OUT} @ONLY)
