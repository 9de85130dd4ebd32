# Carries the project's version to the code (a configured header, also read by
# the resource compiler) and gives each Windows program a version resource and
# the application manifest.

# "1.03" reads as major 1, minor 3: the numeric fields drop the leading zero.
math(EXPR VELTRAW_VERSION_MAJOR "${PROJECT_VERSION_MAJOR} + 0")
math(EXPR VELTRAW_VERSION_MINOR "${PROJECT_VERSION_MINOR} + 0")
set(VELTRAW_VERSION_TEXT "${PROJECT_VERSION}")

set(_version_dir ${PROJECT_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/VeltrawVersion.h.in ${_version_dir}/VeltrawVersion.h @ONLY)
add_library(veltraw_version INTERFACE)
target_include_directories(veltraw_version INTERFACE ${_version_dir})

set(_resource_templates ${CMAKE_CURRENT_LIST_DIR})

# veltraw_windows_resources(TARGET DESCRIPTION): the version resource and the
# manifest (DPI awareness, visual styles, supported systems, no elevation)
# compiled into TARGET's executable. Nothing outside Windows.
function(veltraw_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  enable_language(RC)
  set(VELTRAW_RESOURCE_DESCRIPTION "${description}")
  set(VELTRAW_RESOURCE_TARGET ${target})
  set(VELTRAW_RESOURCE_FILE_NAME ${target}${CMAKE_EXECUTABLE_SUFFIX})
  set(VELTRAW_RESOURCE_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${_resource_templates}/Veltraw.manifest.in ${VELTRAW_RESOURCE_MANIFEST} @ONLY)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc)
  configure_file(${_resource_templates}/ProgramResources.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  target_link_libraries(${target} PRIVATE veltraw_version)
  # The manifest is a resource file the compiler reads, not an #include.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${VELTRAW_RESOURCE_MANIFEST})
endfunction()
