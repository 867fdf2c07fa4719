# Sourced by the top-level scripts: the project root as the working directory, a locale Wine
# can name the desktop file in, the machine set up, and the architecture whose programs run.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# Wine names Unix files in the locale's character set: the desktop file's Chinese name needs UTF-8.
case "$(locale charmap 2>/dev/null)" in UTF-8) ;; *) export LC_ALL=C.UTF-8 ;; esac
tools/bootstrap.sh
arch=$(tools/test-arch.sh)
