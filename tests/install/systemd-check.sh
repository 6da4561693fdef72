#!/bin/sh
# Runs inside the booted container: the package installed under a running
# systemd, one discovery run started by systemd, what its processes hold,
# its result, its store and journal, a removal during a run, then a purge.
unit=onvif_camscout.service
{
  # The timer's first run comes at a tenth minute, which must not fall
  # within the 60 s watched after the install.
  left=$((600 - $(date +%s) % 600)); [ "$left" -gt 75 ] || sleep $((left + 1))
  apt-get install -y /root/onvif-camscout.deb >/root/install.log 2>&1
  sleep 60
  echo "lines-after-install $(journalctl -b -t onvif_camscout -o cat | wc -l) $(systemctl show -P ExecMainStartTimestampMonotonic "$unit")"
  echo "timer-enabled $(systemctl is-enabled onvif_camscout.timer)"
  echo "timer-next $(systemctl show -P NextElapseUSecRealtime onvif_camscout.timer)"
  echo "expiry-timer $(systemctl is-enabled onvif_camscout-central-expire.timer) $(systemctl is-active onvif_camscout-central-expire.timer)"
  # A site that removed the password file still gets its runs.
  rm -f /etc/onvif_camscout/pgpass
  start=$(date +%s)
  systemctl start "$unit"
  sleep 5
  echo "processes $(grep -l '^Name:.onvif_camscout' /proc/[0-9]*/status | wc -l)"
  for status in /proc/[0-9]*/status; do
    grep -q '^Name:.onvif_camscout' "$status" &&
      echo "proc $(grep -E '^(Uid|CapInh|CapPrm|CapEff|CapBnd|CapAmb|NoNewPrivs|Seccomp_filters):' "$status" | tr -s '\t\n' '  ')"
  done
  systemctl start "$unit"
  /usr/sbin/onvif_camscout  # by hand, beside the service's run: the same lock
  for i in $(seq 120); do [ "$(systemctl is-active "$unit")" = active ] || break; sleep 1; done
  echo "run-seconds $(($(date +%s) - start))"
  echo "result $(systemctl show -P Result "$unit")"
  echo "runs $(journalctl -b -t onvif_camscout -o cat | grep -c 'start recv thread')"
  echo "confine $(journalctl -b -t onvif_camscout -o cat | grep -F '[confine]' | tr '\n' ' ')"
  echo "removed $(journalctl -b -t onvif_camscout -o cat | grep -c 'neighbour entries that never resolved removed')"
  echo "journal-lines $(journalctl -b -t onvif_camscout -o cat | wc -l)"
  echo "hand-run-refused $(journalctl -b -t onvif_camscout -o cat | grep -c 'reentried')"
  onvif_camscout_list --store /var/lib/onvif_camscout/media_sources.db --csv | tail -n +2 | cut -d, -f1,2 | sort >/root/stored.txt
  # An upgrade over a store: the postinst brings it on, or says why not, and the package stays installed.
  apt-get install --reinstall -y /root/onvif-camscout.deb >/root/reinstall.log 2>&1
  echo "reinstalled $(dpkg-query -W -f='${Status}' onvif-camscout) $(systemctl is-active onvif_camscout.timer)"
  grep -E 'onvif(-camscout|_camscout_list):' /root/reinstall.log | sed 's/^/postinst /'
  systemctl start "$unit"
  sleep 5
  dpkg --remove onvif-camscout >/dev/null 2>&1
  echo "processes-after-remove $(grep -l '^Name:.onvif_camscout' /proc/[0-9]*/status | wc -l)"
  dpkg --purge onvif-camscout >/dev/null 2>&1
  echo "left $(ls -d /var/lib/onvif_camscout /var/lib/private/onvif_camscout /usr/sbin/onvif_camscout /etc/onvif_camscout /etc/default/onvif_camscout \
    /lib/systemd/system/onvif_camscout.service /etc/systemd/system/timers.target.wants/onvif_camscout.timer 2>/dev/null | wc -l)"
} >/root/report.txt 2>&1
systemctl poweroff
