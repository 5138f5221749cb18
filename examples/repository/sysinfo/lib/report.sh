# Sourced by sysinfo.sh: the lines of the report.
report() {
  echo "Host:    $(uname -n)"
  echo "Kernel:  $(uname -sr)"
  echo "Machine: $(uname -m)"
  echo "Uptime:  $(cut -d' ' -f1 /proc/uptime 2>/dev/null || echo unknown) s"
  echo "Disk:    $(df -h . | awk 'NR==2 {print $4 " free of " $2}')"
}
