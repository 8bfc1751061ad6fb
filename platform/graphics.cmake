# The graphics machine (included from CMakeLists.txt): the DMA controller,
# the VIFs, VU1 and its native programs, the GIF and the display.
find_package(SDL2 REQUIRED)
target_sources(platform PRIVATE
  dma/dma.cpp
  vif/vif.cpp
  vu1/vu1.cpp
  vu1/vu1progs.cpp
  vu1/vu1test.cpp
  vu1/vu1xform.cpp
  vu1/vu1clip.cpp
  vu1/vu1mesh.cpp
  vu1/vu1skin.cpp
  vu1/vu1sprite.cpp
  vu1/vu1ptl.cpp
  vu1/vu1fx.cpp
  vu1/vu1shadow.cpp
  vu1/vu1fog.cpp
  vu1/vu1water.cpp
  gif/gif.cpp
  display/display.cpp
  display/display_sdl.cpp
  display/png.cpp
  display/libgraph.cpp)
target_link_libraries(platform PRIVATE SDL2::SDL2)
# PNG snapshots and pictures through libpng.
find_package(PNG REQUIRED)
target_link_libraries(platform PRIVATE PNG::PNG)

ze_add_tests(platform_gfx_tests
  SOURCES dma/dma_test.cpp vif/vif_test.cpp vu1/vu1_test.cpp vu1/vu1xform_test.cpp vu1/vu1clip_test.cpp gif/gif_test.cpp display/display_test.cpp
  LIBS platform)

# The window is tested once, under a virtual X server.
find_program(XVFB_RUN xvfb-run)
add_executable(display_window_tests display/display_window_test.cpp)
target_link_libraries(display_window_tests PRIVATE platform platform_testmain GTest::gtest)
if(XVFB_RUN)
  add_test(NAME display_window_tests
           COMMAND ${XVFB_RUN} -a -s "-screen 0 1024x768x24" $<TARGET_FILE:display_window_tests>)
  set_tests_properties(display_window_tests PROPERTIES TIMEOUT 120
    ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/display/lsan.supp")
else()
  message(WARNING "xvfb-run not found: the display window test is not run (scripts/setup.sh --test installs it)")
endif()
