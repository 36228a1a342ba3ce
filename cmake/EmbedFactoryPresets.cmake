# Writes OUTPUT, a C++ source holding the factory bank texts INPUTS (a
# "|"-separated list, bank 1 first) as raw string literals, so the factory
# content stays editable text and still ships inside the plug-in.
#   cmake -DOUTPUT=<file.cpp> -DINPUTS=<bank1.txt|bank2.txt|bank3.txt> -P EmbedFactoryPresets.cmake
string(REPLACE "|" ";" INPUTS "${INPUTS}")
set(delimiter "VHBANK")
set(content "// Generated from resources/presets/bank*.txt at build time: edit those.\n")
string(APPEND content "namespace vh {\nextern const char* const kFactoryBankText[3];\n")
string(APPEND content "const char* const kFactoryBankText[3] = {\n")
list(LENGTH INPUTS count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "EmbedFactoryPresets: expected 3 bank files, got ${count}")
endif()
foreach(input IN LISTS INPUTS)
  file(READ "${input}" text)
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${input} contains the sequence )${delimiter}\" and cannot be embedded")
  endif()
  string(APPEND content "R\"${delimiter}(${text})${delimiter}\",\n")
endforeach()
string(APPEND content "};\n}  // namespace vh\n")
file(WRITE "${OUTPUT}" "${content}")
