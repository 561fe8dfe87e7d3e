# Qt's meta-object compiler only for the targets that have Qt objects. With
# AUTOMOC on, every target gets a scan step before its first compile and one
# more file to compile (its moc collection, empty when nothing needs moc),
# which a first build on two cores pays for each of the many plain libraries.
# A target keeps AUTOMOC when one of its sources, or the header beside a
# source, declares a Qt object or includes a .moc file; so a class that gains
# Q_OBJECT brings the step back by itself at the next configure.

function(quillon_moc_needed t out)
  get_target_property(srcs ${t} SOURCES)
  get_target_property(dir ${t} SOURCE_DIR)
  set(files "")
  foreach(s IN LISTS srcs)
    if(s MATCHES "^\\$<")
      continue()
    endif()
    cmake_path(ABSOLUTE_PATH s BASE_DIRECTORY ${dir} OUTPUT_VARIABLE p)
    list(APPEND files ${p})
    if(p MATCHES "\\.(cpp|cxx|cc)$")
      cmake_path(REPLACE_EXTENSION p LAST_ONLY .h OUTPUT_VARIABLE h)
      list(APPEND files ${h})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES files)
  foreach(f IN LISTS files)
    # Generated sources (resources, moc output) are not there yet and never
    # need moc themselves.
    if(NOT EXISTS ${f} OR NOT f MATCHES "\\.(h|hpp|cpp|cxx|cc)$")
      continue()
    endif()
    file(STRINGS ${f} hits REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE|#include [<\"][^>\"]*\\.moc[>\"]")
    if(hits)
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} FALSE PARENT_SCOPE)
endfunction()

# Turns AUTOMOC off for every target under `dirs` (and their subfolders)
# that does not need it.
function(quillon_trim_automoc)
  foreach(dir IN LISTS ARGN)
    quillon_pch_targets(${dir} targets)
    foreach(t IN LISTS targets)
      get_target_property(type ${t} TYPE)
      if(NOT type MATCHES "STATIC_LIBRARY|EXECUTABLE|OBJECT_LIBRARY|SHARED_LIBRARY")
        continue()
      endif()
      get_target_property(on ${t} AUTOMOC)
      if(NOT on)
        continue()
      endif()
      quillon_moc_needed(${t} needed)
      if(NOT needed)
        set_target_properties(${t} PROPERTIES AUTOMOC OFF)
      endif()
    endforeach()
  endforeach()
endfunction()
