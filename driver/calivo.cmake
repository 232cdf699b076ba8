# Calibration-tool launch and the calibration alert: plain C++, the process
# services and the alert panel come in through interfaces.
add_library(zorvan_calivo STATIC
  ${CMAKE_CURRENT_LIST_DIR}/calivo_launcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calibration_alert.cpp)
add_library(zorvan::calivo ALIAS zorvan_calivo)
target_include_directories(zorvan_calivo PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zorvan_calivo PUBLIC zorvan::calibration)
