# The tests' stub HTTP server as a library of its own. It needs Qt Core and
# Network only (no Qt Test), so tolvo-devstub can serve with it too. Included
# by the tests and by tools/devstub; whichever comes first defines it.
if(NOT TARGET tolvo_stubserver)
    add_library(tolvo_stubserver STATIC
        "${PROJECT_SOURCE_DIR}/tests/support/StubServer.cpp"
        "${PROJECT_SOURCE_DIR}/tests/support/StubServer.h")
    # Included as "support/StubServer.h", like the tests always have.
    target_include_directories(tolvo_stubserver PUBLIC "${PROJECT_SOURCE_DIR}/tests")
    target_link_libraries(tolvo_stubserver PUBLIC tolvo_build_settings Qt6::Core Qt6::Network)
endif()
