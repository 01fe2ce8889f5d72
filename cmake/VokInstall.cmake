# `cmake --install build/linux --prefix P`: the public headers, libvokquote.so with its versioned
# names, the CMake package (find_package(VokQuote) -> VokQuote::vokquote), vokquote.pc and the two
# tools. The pkg-config file finds its prefix from its own place, so the tree can be moved.
include(CMakePackageConfigHelpers)

set(VOK_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VokQuote)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vokquote DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT devel FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/generated/vokquote/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vokquote COMPONENT devel)

install(TARGETS vokquote EXPORT VokQuoteTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT devel)
install(EXPORT VokQuoteTargets NAMESPACE VokQuote:: DESTINATION ${VOK_CMAKE_PACKAGE_DIR} COMPONENT devel)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VokQuoteConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VokQuoteConfig.cmake INSTALL_DESTINATION ${VOK_CMAKE_PACKAGE_DIR})
# Within a major version the interface only grows: 2.1 satisfies a request for 2.0.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VokQuoteConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VokQuoteConfig.cmake ${PROJECT_BINARY_DIR}/VokQuoteConfigVersion.cmake
  DESTINATION ${VOK_CMAKE_PACKAGE_DIR} COMPONENT devel)

# ${pcfiledir} is <prefix>/<libdir>/pkgconfig: climb one level per part of that path.
set(VOK_PC_PREFIX "\${pcfiledir}")
string(REPLACE "/" ";" _vok_pc_parts "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
foreach(_part IN LISTS _vok_pc_parts)
  string(APPEND VOK_PC_PREFIX "/..")
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/vokquote.pc.in ${PROJECT_BINARY_DIR}/vokquote.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vokquote.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT devel)

foreach(_tool vokquote_cli vokquote-server)
  if(TARGET ${_tool})
    install(TARGETS ${_tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()
