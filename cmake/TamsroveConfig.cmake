# find_package(Tamsrove CONFIG): the line store, Tamsrove::LineStore (C++20; on Windows it brings
# user32 and advapi32 with it), and the base library it needs, Tamsrove::Base.
include(${CMAKE_CURRENT_LIST_DIR}/TamsroveTargets.cmake)
