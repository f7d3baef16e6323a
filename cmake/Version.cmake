# The product's version, from the project version of the root CMakeLists.txt: one call per program
# and library gives it the version as LARK_VERSION and, in the Windows build, a version resource
# (and, in a release build, leaves out its symbols).
if(WIN32)
  enable_language(RC)
  # No link time in the programs' headers: a release built twice from one commit is the same bytes.
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# FILEVERSION wants four numbers; the parts the project version leaves out are 0.
set(lark_version_numbers ${PROJECT_VERSION_MAJOR})
foreach(part MINOR PATCH TWEAK)
  if("${PROJECT_VERSION_${part}}" STREQUAL "")
    string(APPEND lark_version_numbers ",0")
  else()
    string(APPEND lark_version_numbers ",${PROJECT_VERSION_${part}}")
  endif()
endforeach()
set(LARK_VERSION_NUMBERS ${lark_version_numbers} CACHE INTERNAL "")
set(LARK_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/VersionInfo.rc.in CACHE INTERNAL "")

# lark_version_resource(target "File description")
function(lark_version_resource target description)
  target_compile_definitions(${target} PRIVATE LARK_VERSION="${PROJECT_VERSION}")
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(LARK_FILE_TYPE VFT_DLL)
  else()
    set(LARK_FILE_TYPE VFT_APP)
  endif()
  # What is shipped carries no symbols in a release build.
  target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-s>)
  set(LARK_FILE_DESCRIPTION "${description}")
  set(LARK_VERSION_NUMBERS ${LARK_VERSION_NUMBERS})
  # The file's own name (sfx.bin, ZipDll.dll) is known only when the build is generated.
  set(LARK_FILE_NAME "$<TARGET_FILE_NAME:${target}>")
  set(LARK_INTERNAL_NAME "$<TARGET_FILE_BASE_NAME:${target}>")
  file(READ ${LARK_VERSION_TEMPLATE} template)
  string(CONFIGURE "${template}" configured @ONLY)
  set(rc ${CMAKE_BINARY_DIR}/version/${target}.rc)
  file(GENERATE OUTPUT ${rc} CONTENT "${configured}")
  target_sources(${target} PRIVATE ${rc})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LARK_VERSION_TEMPLATE})
endfunction()
