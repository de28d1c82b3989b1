"""The build's scripts, run as modules from the source root, without writing
bytecode into the tree:

    python3 -B -m tools.make_msi build ...

(the source root on PYTHONPATH when the working folder is elsewhere). They
import each other as `from tools import regexport`."""
