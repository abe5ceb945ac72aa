# A private PostgreSQL 15 server for tests and benchmarks, sourced by them: its cluster in
# $folder/db, its Unix socket in $folder/socket and no TCP port, run as the unprivileged account
# when the caller is root (initdb refuses root). The caller stops it on every way out with
# `plant_server stop -m immediate` in its EXIT trap.
#   . tests/support/plantserver.sh; plant_init "$folder"; plant_start; psql -d "$plant_url" ...
plant_bin=/usr/lib/postgresql/15/bin
plant_as=()

plant_server() { "${plant_as[@]}" "$plant_bin/pg_ctl" -D "$plant_folder/db" -l "$plant_folder/db/server.log" -w "$@" >/dev/null; }

plant_init() { # FOLDER
    plant_folder=$1
    chmod 755 "$plant_folder"
    mkdir "$plant_folder/db" "$plant_folder/socket"
    if [ "$(id -u)" -eq 0 ]; then
        plant_as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        chown 65534:65534 "$plant_folder/db" "$plant_folder/socket"
    fi
    "${plant_as[@]}" "$plant_bin/initdb" -D "$plant_folder/db" -U plant -A trust --no-sync >/dev/null
    plant_url="host=$plant_folder/socket user=plant dbname=postgres"
}

plant_start() { plant_server start -o "-c listen_addresses='' -k $plant_folder/socket -c fsync=off"; }
