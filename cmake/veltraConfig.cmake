# The veltra library: find_package(veltra) gives the target veltra::veltra (the shared
# library libveltra with its headers <veltra/...>, C++20).
include("${CMAKE_CURRENT_LIST_DIR}/veltraTargets.cmake")
