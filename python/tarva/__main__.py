"""python3 -m tarva: the interactive program, with this package's library
files unless TARVA_LIB names others."""
import os
import sys

import tarva

os.environ.setdefault("TARVA_LIB", tarva.library_dir())
sys.exit(tarva._tarva.program(["tarva"] + sys.argv[1:]))
