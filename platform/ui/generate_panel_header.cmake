# Writes the C++ constants of a panel resource: panel resource numbers and control IDs, named as
# in the resource. Run as: cmake -DRESOURCE=<file.UIR> -DHEADER=<out.h> -P generate_panel_header.cmake
cmake_minimum_required(VERSION 3.25)

file(READ "${RESOURCE}" json)
get_filename_component(resource_name "${RESOURCE}" NAME)

set(panels "")
set(controls "")
string(JSON panel_count LENGTH "${json}" panels)
math(EXPR last_panel "${panel_count} - 1")
foreach(p RANGE ${last_panel})
  string(JSON panel_name GET "${json}" panels ${p} name)
  string(JSON panel_number GET "${json}" panels ${p} number)
  string(APPEND panels "inline constexpr int ${panel_name} = ${panel_number};\n")
  string(APPEND controls "\n// Panel ${panel_name}\n")
  string(JSON group_count LENGTH "${json}" panels ${p} groups)
  math(EXPR last_group "${group_count} - 1")
  foreach(g RANGE ${last_group})
    string(JSON control_count LENGTH "${json}" panels ${p} groups ${g} controls)
    if(control_count EQUAL 0)
      continue()
    endif()
    math(EXPR last_control "${control_count} - 1")
    foreach(c RANGE ${last_control})
      string(JSON name GET "${json}" panels ${p} groups ${g} controls ${c} name)
      string(JSON id GET "${json}" panels ${p} groups ${g} controls ${c} id)
      string(APPEND controls "inline constexpr int ${name} = ${id};\n")
    endforeach()
  endforeach()
endforeach()

set(text "// Panel and control constants of ${resource_name}. Generated from the resource at build time:
// edit the resource, not this file.
#pragma once

// Panel resource numbers, for LoadPanel.
${panels}${controls}")

file(WRITE "${HEADER}" "${text}")
