# Builds the ONNX models of the tests and benchmarks into ${PELORIN_MODEL_DIR}:
#   PELORIN_TEST_MODEL             colour-patch network, head [1, 42, anchors]
#   PELORIN_TEST_MODEL_TRANSPOSED  the same with head [1, anchors, 42]
#   PELORIN_TEST_MODEL_PREPARED    the same written as exporters deliver models
#                                  (int8, opset 17, ...), rewritten by
#                                  tools/prepare_model.py
#   PELORIN_INT8_BOX_MODEL         int8 network of the current export form (IR 9,
#                                  opset 20) with a box-distance head, rewritten
#                                  by tools/prepare_model.py
#   PELORIN_YOLOV8N_MODEL          YOLOv8n-seg layers with random weights, rewritten
#                                  by tools/prepare_model.py
#   PELORIN_YOLOV8N_320_MODEL      the same exported for a 320 x 320 input
# Each is empty when the python packages to make it are missing.
# Targets to depend on: pelorin_test_models, pelorin_yolov8n_seg_model,
# pelorin_yolov8n_seg_320_model (benchmarks only).

set(tools_dir ${PROJECT_SOURCE_DIR}/tools)
set(prepare_script ${tools_dir}/prepare_model.py)
set(quantiser_script ${tools_dir}/models/dynamic_int8.py)
set(PELORIN_MODEL_DIR ${PROJECT_BINARY_DIR}/models CACHE INTERNAL "Generated ONNX models")
file(MAKE_DIRECTORY ${PELORIN_MODEL_DIR})

# A pyenv or venv interpreter may shadow Debian's, which has the packages.
function(pelorin_find_python out modules)
  foreach(python IN ITEMS ${Python3_EXECUTABLE} /usr/bin/python3)
    execute_process(COMMAND ${python} -c "import ${modules}"
                    RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
    if(NOT failed)
      set(${out} ${python} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

# `python script exported ARGN` writes a model as exporters deliver it;
# tools/prepare_model.py rewrites it into `prepared`.
function(pelorin_add_prepared_model exported prepared what python script)
  add_custom_command(
    OUTPUT ${exported}
    COMMAND ${python} ${script} ${exported} ${ARGN}
    DEPENDS ${script} ${quantiser_script}
    COMMENT "Generating ${what} as exporters deliver it")
  add_custom_command(
    OUTPUT ${prepared}
    COMMAND ${onnx_python} ${prepare_script} ${exported} ${prepared}
    DEPENDS ${exported} ${prepare_script}
    COMMENT "Preparing ${what} for OpenCV DNN")
endfunction()

pelorin_find_python(onnx_python "onnx, numpy")
pelorin_find_python(torch_python "onnx, numpy, torch")
if(NOT onnx_python)
  message(WARNING "python3 with onnx and numpy not found (scripts/install_deps.sh): "
                  "the model tests and benchmarks will skip")
  set(PELORIN_TEST_MODEL "" CACHE INTERNAL "")
  set(PELORIN_TEST_MODEL_TRANSPOSED "" CACHE INTERNAL "")
  set(PELORIN_TEST_MODEL_PREPARED "" CACHE INTERNAL "")
  set(PELORIN_INT8_BOX_MODEL "" CACHE INTERNAL "")
  add_custom_target(pelorin_test_models)
else()
  set(PELORIN_TEST_MODEL ${PELORIN_MODEL_DIR}/colour_patch_seg.onnx CACHE INTERNAL "")
  set(PELORIN_TEST_MODEL_TRANSPOSED ${PELORIN_MODEL_DIR}/colour_patch_seg_transposed.onnx
      CACHE INTERNAL "")
  set(test_model_script ${tools_dir}/models/make_test_model.py)
  add_custom_command(
    OUTPUT ${PELORIN_TEST_MODEL}
    COMMAND ${onnx_python} ${test_model_script} ${PELORIN_TEST_MODEL}
    DEPENDS ${test_model_script}
    COMMENT "Generating the colour-patch test model")
  add_custom_command(
    OUTPUT ${PELORIN_TEST_MODEL_TRANSPOSED}
    COMMAND ${onnx_python} ${test_model_script} ${PELORIN_TEST_MODEL_TRANSPOSED} --transposed
    DEPENDS ${test_model_script}
    COMMENT "Generating the colour-patch test model, transposed head")
  set(PELORIN_TEST_MODEL_PREPARED ${PELORIN_MODEL_DIR}/colour_patch_seg_prepared.onnx
      CACHE INTERNAL "")
  pelorin_add_prepared_model(${PELORIN_MODEL_DIR}/colour_patch_seg_as_exported.onnx
    ${PELORIN_TEST_MODEL_PREPARED} "the colour-patch test model"
    ${onnx_python} ${test_model_script} --as-exported)
  set(PELORIN_INT8_BOX_MODEL ${PELORIN_MODEL_DIR}/int8_box_prepared.onnx CACHE INTERNAL "")
  pelorin_add_prepared_model(${PELORIN_MODEL_DIR}/int8_box_export.onnx
    ${PELORIN_INT8_BOX_MODEL} "the int8 box-distance test model"
    ${onnx_python} ${tools_dir}/models/make_int8_box_model.py)
  add_custom_target(pelorin_test_models ALL
    DEPENDS ${PELORIN_TEST_MODEL} ${PELORIN_TEST_MODEL_TRANSPOSED} ${PELORIN_TEST_MODEL_PREPARED}
            ${PELORIN_INT8_BOX_MODEL})
endif()

if(torch_python)
  set(PELORIN_YOLOV8N_MODEL ${PELORIN_MODEL_DIR}/yolov8n_seg_random.onnx CACHE INTERNAL "")
  pelorin_add_prepared_model(${PELORIN_MODEL_DIR}/yolov8n_seg_random_export.onnx
    ${PELORIN_YOLOV8N_MODEL} "YOLOv8n-seg with random weights"
    ${torch_python} ${tools_dir}/models/make_yolov8n_seg.py)
  add_custom_target(pelorin_yolov8n_seg_model DEPENDS ${PELORIN_YOLOV8N_MODEL})
  set(PELORIN_YOLOV8N_320_MODEL ${PELORIN_MODEL_DIR}/yolov8n_seg_random_320.onnx CACHE INTERNAL "")
  pelorin_add_prepared_model(${PELORIN_MODEL_DIR}/yolov8n_seg_random_320_export.onnx
    ${PELORIN_YOLOV8N_320_MODEL} "YOLOv8n-seg 320 x 320 with random weights"
    ${torch_python} ${tools_dir}/models/make_yolov8n_seg.py --size 320)
  add_custom_target(pelorin_yolov8n_seg_320_model DEPENDS ${PELORIN_YOLOV8N_320_MODEL})
else()
  message(STATUS "python3-torch not found: the YOLOv8n-seg test and benchmarks will skip")
  set(PELORIN_YOLOV8N_MODEL "" CACHE INTERNAL "")
  set(PELORIN_YOLOV8N_320_MODEL "" CACHE INTERNAL "")
  add_custom_target(pelorin_yolov8n_seg_model)
  add_custom_target(pelorin_yolov8n_seg_320_model)
endif()
