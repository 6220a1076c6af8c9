# The Python peer of FileToDBI: read the whole file, decode it as code page 1252, split at CR LF.
# Prints "op_ms=... op_cpu_ms=..." for that work and "lines=N".
import sys
import time

cpu_start = time.process_time()
start = time.perf_counter()
with open(sys.argv[1], "rb") as f:
    lines = f.read().decode("cp1252").split("\r\n")
ms = (time.perf_counter() - start) * 1000.0
cpu_ms = (time.process_time() - cpu_start) * 1000.0
print(f"op_ms={ms:.3f} op_cpu_ms={cpu_ms:.3f}")
print(f"lines={len(lines)}")
