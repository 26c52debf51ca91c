# The 32-bit Windows DLL, Corvexa.dll: the same stages as on Linux, with the
# desktop, printing, e-mail, logo decoding and font lookup of Windows in place
# of the GTK module, CUPS, libcurl, gdk-pixbuf and the Linux font folders. The
# PDF comes from cairo (no HarfBuzz subsetter is built for Windows). Included
# from the top-level CMakeLists.txt when WIN32; tests and tools are not built.
set(CORVEXA_WIN32_DEPS "$ENV{HOME}/.cache/corvexa-win32" CACHE PATH
    "Prefix of the static i686 libraries built by win32/build-deps.sh")
if(NOT EXISTS "${CORVEXA_WIN32_DEPS}/lib/libcairo.a")
  message(FATAL_ERROR "No cairo in ${CORVEXA_WIN32_DEPS}: run win32/build-deps.sh first")
endif()

add_compile_options(-Wall -Wextra)
# Windows 7 API level; stdcall hosts only keep the stack 4-byte aligned.
# localtime_r and M_PI from the runtime's headers in strict C++ mode.
add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 CAIRO_WIN32_STATIC_BUILD _POSIX_THREAD_SAFE_FUNCTIONS
                        _USE_MATH_DEFINES)
add_compile_options(-mstackrealign)

add_library(corvexa_win32_deps INTERFACE)
target_include_directories(corvexa_win32_deps INTERFACE
    ${CORVEXA_WIN32_DEPS}/include ${CORVEXA_WIN32_DEPS}/include/cairo ${CORVEXA_WIN32_DEPS}/include/freetype2
    # POSIX locale queries answered from the Windows locale.
    ${CMAKE_CURRENT_SOURCE_DIR}/win32/compat)
target_link_directories(corvexa_win32_deps INTERFACE ${CORVEXA_WIN32_DEPS}/lib)
target_link_libraries(corvexa_win32_deps INTERFACE
    cairo pixman-1 freetype png16 jpeg z
    gdiplus shlwapi comdlg32 comctl32 shell32 ole32 winspool gdi32 msimg32 user32 ssp)

# Sources of a stage on Windows: the folder's files without the Linux-only
# ones, plus its *_win32.cpp files (and, for the platform, src/platform/windows).
set(_so_linux
    fontes/arquivos.cpp
    render/arquivo.cpp render/pdf_direto.cpp
    platform/plataforma.cpp platform/impressora.cpp platform/correio.cpp
    job/logotipo.cpp job/impressao_cups.cpp)
function(corvexa_module name)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/${name}/*.cpp)
  foreach(_f IN LISTS _so_linux)
    list(REMOVE_ITEM _src ${CMAKE_CURRENT_SOURCE_DIR}/src/${_f})
  endforeach()
  if(name STREQUAL "platform")
    file(GLOB _win CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/windows/*.cpp)
    list(APPEND _src ${_win})
  endif()
  add_library(corvexa_${name} STATIC ${_src})
  target_include_directories(corvexa_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(corvexa_${name} PUBLIC corvexa_win32_deps ${ARGN})
endfunction()

corvexa_module(base)
corvexa_module(xml corvexa_base)
corvexa_module(data corvexa_base)
corvexa_module(nfe corvexa_xml corvexa_data)
corvexa_module(fontes corvexa_base)
corvexa_module(report corvexa_data corvexa_fontes)
corvexa_module(layouts corvexa_report)
corvexa_module(metafile corvexa_report)
corvexa_module(render corvexa_report)
corvexa_module(platform corvexa_base corvexa_report corvexa_render)
corvexa_module(job corvexa_nfe corvexa_layouts corvexa_render corvexa_platform corvexa_metafile)

# The DLL: only the C exports (the C++ interface is not part of it), named
# by the .def file at fixed ordinals, with the C and C++ runtimes linked in.
add_library(corvexa SHARED src/api/Corvexa.cpp src/api/dllmain_win32.cpp ${CMAKE_CURRENT_SOURCE_DIR}/win32/Corvexa.def)
target_include_directories(corvexa PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR}/include)
target_link_libraries(corvexa PRIVATE corvexa_job corvexa_metafile)
target_compile_definitions(corvexa PRIVATE CORVEXA_VERSAO="${PROJECT_VERSION}" CORVEXA_EXPORTA_POR_DEF)
target_link_options(corvexa PRIVATE -static -Wl,--disable-stdcall-fixup -Wl,--no-undefined)
set_target_properties(corvexa PROPERTIES PREFIX "" OUTPUT_NAME Corvexa SUFFIX ".dll" IMPORT_PREFIX "" IMPORT_SUFFIX ".ld-implib")

# The import library for C and C++ hosts: decorated stdcall names, as
# corvexa.h declares them, bound to the undecorated exports.
add_custom_command(TARGET corvexa POST_BUILD
    COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_CURRENT_SOURCE_DIR}/win32/Corvexa-implib.def
            -l ${CMAKE_BINARY_DIR}/libCorvexa.dll.a -k
    COMMENT "Import library libCorvexa.dll.a")
