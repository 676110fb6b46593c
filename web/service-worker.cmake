# Writes the service worker from its template, at build time, once the site
# holds its files: the list of them to keep, and the name of the copy, made
# of the version and a digest of the files' bytes.
#   cmake -DSITE=<folder> -DFILES=<name,name,...> -DVERSION=<x.y.z>
#         -DTEMPLATE=<service-worker.js.in> -DOUTPUT=<service-worker.js> -P service-worker.cmake
string(REPLACE "," ";" names "${FILES}")
list(SORT names)
set(digested "")
set(listed "'./'")  # the page as the site's folder, which is how it is opened
foreach(name IN LISTS names)
  file(SHA256 ${SITE}/${name} hash)
  string(APPEND digested "${hash}  ${name}\n")
  string(APPEND listed ", '${name}'")
endforeach()
string(SHA256 digest "${digested}")
string(SUBSTRING ${digest} 0 12 digest)
set(VARNOCK_CACHE_VERSION ${VERSION}-${digest})
set(VARNOCK_CACHED_FILES "[${listed}]")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
# Left as it was when nothing changed, and then marked as up to date.
file(TOUCH_NOCREATE ${OUTPUT})
