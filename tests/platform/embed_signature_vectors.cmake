# Generates OUTPUT, a C++ source that returns the bytes of the committed signature vector files
# from committedSignatureFile(name). Called at configure time with DATA_DIR, SETS and OUTPUT.
function(vorn_embed_signature_vectors data_dir output)
  set(arrays "")
  set(lookups "")
  set(index 0)
  foreach(set ${ARGN})
    foreach(name public-key.blob message.bin message.sig empty.sig)
      set(path "${data_dir}/${set}/${name}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
      file(READ "${path}" hex HEX)
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
      string(APPEND arrays "const unsigned char file${index}[] = {${bytes}};\n")
      string(APPEND lookups
        "    if (name == \"${set}/${name}\")\n"
        "        return {std::begin(file${index}), std::end(file${index})};\n")
      math(EXPR index "${index} + 1")
    endforeach()
  endforeach()
  file(CONFIGURE OUTPUT "${output}" @ONLY CONTENT
"// Generated from tests/platform/data at configure time.
#include \"tests/platform/signature_vectors.h\"

#include <iterator>

namespace vorn::test {

namespace {
@arrays@} // namespace

std::vector<unsigned char> committedSignatureFile(const std::string& name)
{
@lookups@    return {};
}

} // namespace vorn::test
")
endfunction()
