# Sourced by the build scripts: finds nvcc where the CUDA toolkit installs it.
if [ -z "${CUDACXX:-}" ] && ! command -v nvcc >/dev/null 2>&1 && [ -x /usr/local/cuda/bin/nvcc ]; then
  export CUDACXX=/usr/local/cuda/bin/nvcc
fi
