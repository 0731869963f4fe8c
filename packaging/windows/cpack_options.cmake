# Read by CPack once per generator: the zip unpacks into a folder named
# after it; the installer has no such folder.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
