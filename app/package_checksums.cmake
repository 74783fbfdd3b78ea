# Run by CPack once the zip is made (CPACK_POST_BUILD_SCRIPTS): writes
# SHA256SUMS into the output folder, beside the zip, with the hashes of the
# zip and of the exe inside it, one "<hash>  <file name>" line each, as
# sha256sum -c reads them and in the lower case that certutil -hashfile
# prints. CPack calls this while the zip is still in its staging folder and
# moves it to the output folder afterwards.
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(package_name "${package}" NAME)
  file(SHA256 "${package}" package_hash)
  string(APPEND sums "${package_hash}  ${package_name}\n")
endforeach()
# The exe exactly as the zip holds it: CPack's staged copy.
set(exe "${CPACK_TEMPORARY_DIRECTORY}/rivanta.exe")
if(NOT CPACK_PACKAGE_FILES OR NOT EXISTS "${exe}")
  message(FATAL_ERROR "SHA256SUMS: no package, or no rivanta.exe staged at ${exe}")
endif()
file(SHA256 "${exe}" exe_hash)
string(APPEND sums "${exe_hash}  rivanta.exe\n")
file(WRITE "${CPACK_OUTPUT_FILE_PREFIX}/SHA256SUMS" "${sums}")
message(STATUS "SHA256SUMS: ${CPACK_OUTPUT_FILE_PREFIX}/SHA256SUMS")
