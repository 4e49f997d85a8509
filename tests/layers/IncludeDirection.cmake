# Fails when a source folder includes a header of a folder above it or beside it.
#
#   cmake -DSOURCE_DIR=<root> -P IncludeDirection.cmake
#
# The folders and the layers they may include, lowest first: common/ nothing; glview/,
# camera/, world/ and terrain/ common/ only; scene/ all of those; app/ all of them and scene/.
# Headers are included by their bare name ("Camera.h"), so each name is looked up among the
# headers of the seven folders. A name found nowhere there (a system or Qt header, a header
# generated into the build tree) is not checked.

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(folders common glview camera world terrain scene app)
set(allowed_common "")
set(allowed_glview common)
set(allowed_camera common)
set(allowed_world common)
set(allowed_terrain common)
set(allowed_scene common glview camera world terrain)
set(allowed_app common glview camera world terrain scene)

# Header name -> folder.
foreach(folder IN LISTS folders)
  file(GLOB headers RELATIVE ${SOURCE_DIR}/${folder} ${SOURCE_DIR}/${folder}/*.h)
  foreach(header IN LISTS headers)
    if(DEFINED owner_${header})
      message(FATAL_ERROR "${header} is in both ${owner_${header}}/ and ${folder}/: an include cannot name one")
    endif()
    set(owner_${header} ${folder})
  endforeach()
endforeach()

set(violations 0)
set(checked 0)
foreach(folder IN LISTS folders)
  file(GLOB sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" included "${line}")
      get_filename_component(name "${included}" NAME)
      if(NOT DEFINED owner_${name})
        continue()
      endif()
      math(EXPR checked "${checked} + 1")
      set(target ${owner_${name}})
      if(target STREQUAL folder)
        continue()
      endif()
      list(FIND allowed_${folder} ${target} found)
      if(found EQUAL -1)
        file(RELATIVE_PATH where ${SOURCE_DIR} ${source})
        message(SEND_ERROR "${where} includes ${name} of ${target}/, which ${folder}/ may not reach")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the layers")
endif()
if(checked EQUAL 0)
  message(FATAL_ERROR "no include of the project's own headers found under ${SOURCE_DIR}")
endif()
message(STATUS "${checked} includes of the project's own headers, all downward or within a folder")
